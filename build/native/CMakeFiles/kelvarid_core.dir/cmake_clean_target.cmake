file(REMOVE_RECURSE
  "libkelvarid_core.a"
)
