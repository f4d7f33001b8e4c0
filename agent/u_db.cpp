// Placeholder until the session layer lands.
