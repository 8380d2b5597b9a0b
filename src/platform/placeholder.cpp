// Placeholder until the first platform source lands.
