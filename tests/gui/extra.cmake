# Window checks under a virtual X server: the real program, a real GL context (Mesa's llvmpipe),
# SDL's dummy sound driver. Labelled "gui" so the sanitizer run can leave them out.
if(TARGET bleepforge)
  find_program(BF_XVFB_RUN xvfb-run)
  find_program(BF_IMPORT import)
  find_program(BF_XDOTOOL xdotool)
  if(BF_XVFB_RUN AND BF_IMPORT AND BF_XDOTOOL)
    # Drops files on a window as a file manager does.
    find_package(X11 REQUIRED)
    find_package(OpenGL REQUIRED)
    add_executable(bf_xdnd_drop ${CMAKE_CURRENT_LIST_DIR}/xdnd_drop.cc)
    bf_target_defaults(bf_xdnd_drop)
    target_link_libraries(bf_xdnd_drop PRIVATE X11::X11)
    add_test(NAME gui_main_screen
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/main_screen.sh $<TARGET_FILE:bleepforge>
              ${PROJECT_SOURCE_DIR}/examples/example.zcm $<TARGET_FILE:bf_xdnd_drop>)
    set_tests_properties(gui_main_screen PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 180)
    add_test(NAME gui_window_scale
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/window_scale.sh $<TARGET_FILE:bleepforge>)
    set_tests_properties(gui_window_scale PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 120)
    add_test(NAME gui_fatal_error
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fatal_error.sh $<TARGET_FILE:bleepforge>)
    set_tests_properties(gui_fatal_error PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 60)
    # Screenshots are kept in gui-artifacts/ of this build folder for a look after the run.
    add_test(NAME gui_playback_and_editing
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/playback_and_editing.sh $<TARGET_FILE:bleepforge>
              ${PROJECT_SOURCE_DIR}/examples/demo.zcm $<TARGET_FILE:bleepforge-cli>
              ${CMAKE_CURRENT_BINARY_DIR}/gui-artifacts)
    set_tests_properties(gui_playback_and_editing PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 120)
    # The file commands through the program's own dialog, and a dropped song.
    add_test(NAME gui_file_dialogs
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/file_dialogs.sh $<TARGET_FILE:bleepforge>
              ${PROJECT_SOURCE_DIR}/examples/demo.zcm ${PROJECT_SOURCE_DIR}/examples/example.zcm
              $<TARGET_FILE:bleepforge-cli> $<TARGET_FILE:bf_xdnd_drop>)
    set_tests_properties(gui_file_dialogs PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 90)
    add_test(NAME gui_undo_and_recovery
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/undo_and_recovery.sh $<TARGET_FILE:bleepforge>
              ${PROJECT_SOURCE_DIR}/examples/demo.zcm $<TARGET_FILE:bleepforge-cli>)
    set_tests_properties(gui_undo_and_recovery PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 120)
    # "save wav" renders in the background while the song plays on.
    add_test(NAME gui_save_wav
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/save_wav.sh $<TARGET_FILE:bleepforge>
              ${PROJECT_SOURCE_DIR}/examples/demo.zcm $<TARGET_FILE:bleepforge-cli>)
    set_tests_properties(gui_save_wav PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 120)
    find_program(BF_XCLIP xclip)
    if(BF_XCLIP)
      add_executable(bf_clipboard_check ${CMAKE_CURRENT_LIST_DIR}/clipboard_check.cc
                                        ${PROJECT_SOURCE_DIR}/platform/X11Clipboard.cpp)
      bf_target_defaults(bf_clipboard_check)
      target_link_libraries(bf_clipboard_check PRIVATE X11::X11)
      add_test(NAME gui_clipboard
        COMMAND ${BF_XVFB_RUN} -a -s "-screen 0 640x480x24" $<TARGET_FILE:bf_clipboard_check>)
      set_tests_properties(gui_clipboard PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 90)
    endif()
    add_executable(bf_image_errors ${CMAKE_CURRENT_LIST_DIR}/image_errors.cc
                                   ${PROJECT_SOURCE_DIR}/platform/Images.cpp
                                   ${PROJECT_SOURCE_DIR}/platform/ImageDecoder.cpp)
    bf_target_defaults(bf_image_errors)
    target_link_libraries(bf_image_errors PRIVATE bf_app bf_assets OpenGL::GL)
    add_test(NAME gui_image_errors COMMAND bf_image_errors)
    set_tests_properties(gui_image_errors PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 60)
    add_test(NAME gui_built_in_pictures
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/assets.sh ${PROJECT_BINARY_DIR}/generated/assets)
    set_tests_properties(gui_built_in_pictures PROPERTIES LABELS gui RESOURCE_LOCK gui_display TIMEOUT 60)
  else()
    message(STATUS "xvfb-run, import or xdotool missing: window checks skipped")
  endif()
endif()
