// Placeholder until the first view source lands.
