target_link_libraries(ravederi PRIVATE rav_project rav_kernel zareza2v)

# The bundled demo project, built from its readable source by the tool itself
# so that the demo and the tests open a file the build just made.
set(RAVEDERI_DEMO_PROJECT ${CMAKE_BINARY_DIR}/examples/demo.dpz)
add_custom_command(OUTPUT ${RAVEDERI_DEMO_PROJECT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/examples
  COMMAND ravederi project build ${PROJECT_SOURCE_DIR}/examples/demo.json ${RAVEDERI_DEMO_PROJECT}
  DEPENDS ravederi ${PROJECT_SOURCE_DIR}/examples/demo.json
  COMMENT "Building the demo project examples/demo.dpz"
  VERBATIM)
add_custom_target(demo_project ALL DEPENDS ${RAVEDERI_DEMO_PROJECT})
