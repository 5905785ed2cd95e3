# The CLI test runs the built bleepforge-cli.
if(TARGET bleepforge-cli)
  add_dependencies(test_export bleepforge-cli)
endif()
