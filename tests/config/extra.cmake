# The CLI tests run the built bleepforge-cli.
if(TARGET bleepforge-cli)
  add_dependencies(test_config bleepforge-cli)
endif()
