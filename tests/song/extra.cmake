# The CLI and example tests run the built bleepforge-cli and make_example.
if(TARGET bleepforge-cli AND TARGET make_example)
  add_dependencies(test_song bleepforge-cli make_example)
endif()
