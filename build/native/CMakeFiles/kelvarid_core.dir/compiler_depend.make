# Empty compiler generated dependencies file for kelvarid_core.
# This may be replaced when dependencies are built.
