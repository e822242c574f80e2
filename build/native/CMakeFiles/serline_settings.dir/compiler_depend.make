# Empty compiler generated dependencies file for serline_settings.
# This may be replaced when dependencies are built.
