// Placeholder until the window lands.
