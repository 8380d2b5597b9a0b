// Placeholder until the first app source lands.
