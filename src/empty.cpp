// Placeholder translation unit for a subsystem library with no classes yet.
