# The NSF writer embeds the 6502 driver image assembled in driver/.
get_target_property(_bf_export_type bf_${name} TYPE)
if(_bf_export_type STREQUAL "INTERFACE_LIBRARY")
  target_link_libraries(bf_${name} INTERFACE bf_driver_image)
else()
  target_link_libraries(bf_${name} PUBLIC bf_driver_image)
endif()
