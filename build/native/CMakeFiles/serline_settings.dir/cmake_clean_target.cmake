file(REMOVE_RECURSE
  "libserline_settings.a"
)
