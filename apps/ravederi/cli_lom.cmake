target_link_libraries(ravederi PRIVATE rav_lom rav_kernel rav_eid zareza2v rav_shell_core)

# The demo EID, built from its readable source: the columns come from
# examples/demo-eid.fields, the records from examples/demo-eid.txt.
set(RAVEDERI_DEMO_EID ${CMAKE_BINARY_DIR}/examples/demo.eid)
set(demo_eid_fields)
set(demo_eid_key)
file(STRINGS ${PROJECT_SOURCE_DIR}/examples/demo-eid.fields demo_eid_lines)
foreach(line IN LISTS demo_eid_lines)
  if(line MATCHES "^eic (.+)$")
    set(demo_eid_key ${CMAKE_MATCH_1})
  elseif(line MATCHES "^[^#].*:[0-9]+$")
    list(APPEND demo_eid_fields --field ${line})
  endif()
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/demo-eid.fields)

# The import writes its log beside the text it reads, so it reads a copy in
# the build tree and the source tree stays clean.
set(demo_eid_text ${CMAKE_BINARY_DIR}/examples/demo-eid.txt)
add_custom_command(OUTPUT ${RAVEDERI_DEMO_EID}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/examples
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/examples/demo-eid.txt ${demo_eid_text}
  COMMAND ravederi eid create ${RAVEDERI_DEMO_EID} ${demo_eid_fields} --eic ${demo_eid_key}
  COMMAND ravederi eid import ${RAVEDERI_DEMO_EID} ${demo_eid_text} --delimiter ";"
  DEPENDS ravederi ${PROJECT_SOURCE_DIR}/examples/demo-eid.txt ${PROJECT_SOURCE_DIR}/examples/demo-eid.fields
  COMMENT "Building the demo EID examples/demo.eid"
  VERBATIM)
add_custom_target(demo_eid ALL DEPENDS ${RAVEDERI_DEMO_EID})
