// Keeps the tool library non-empty while tools/ has no shared sources.
