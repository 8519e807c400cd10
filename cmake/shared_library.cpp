// libpexo is assembled from the whole pexo_core archive; this translation unit
// only gives the shared-library target a source of its own.
