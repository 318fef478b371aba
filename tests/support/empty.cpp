// Keeps test_support non-empty until helpers exist.
