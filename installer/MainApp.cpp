// Placeholder until the application object lands.
