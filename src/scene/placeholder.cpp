// Placeholder until the first scene source lands.
