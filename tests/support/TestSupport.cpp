// Placeholder so the helper library always has a translation unit.
