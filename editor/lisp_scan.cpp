// PLACEHOLDER until the scanning rules land.
