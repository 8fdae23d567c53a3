# `make install` (cmake --install): the plug-in library and the host's
# libraries it is built against in <prefix>/lib/olb, olb-host and the
# datastore tools in <prefix>/bin, the sqlplus stand-in in
# <prefix>/libexec/olb/bin (off PATH, so that it shadows no real sqlplus;
# olb-host --datastore finds it beside its own directory), and the
# datastore's schema, demo environment, message schema and the demo script
# in <prefix>/share/olb. Each installed program and library finds the
# libraries relative to itself.
set(OLB_INSTALL_LIBDIR lib/olb)

set_target_properties(OlbDpa HxLib HxXMLMessagesBase HXForeignHandlerBase PROPERTIES
  INSTALL_RPATH "$ORIGIN")
set_target_properties(olb-host PROPERTIES INSTALL_RPATH "$ORIGIN/../${OLB_INSTALL_LIBDIR}")

install(TARGETS OlbDpa HxLib HxXMLMessagesBase HXForeignHandlerBase
  LIBRARY DESTINATION ${OLB_INSTALL_LIBDIR})
install(TARGETS olb-host olb-dpa-db olb-dpa-gen RUNTIME DESTINATION bin)
install(TARGETS sqlplus RUNTIME DESTINATION libexec/olb/bin)
install(FILES
  ${CMAKE_SOURCE_DIR}/datastore/schema.sql
  ${CMAKE_SOURCE_DIR}/datastore/demo.sql
  ${CMAKE_SOURCE_DIR}/datastore/demo-registry.ini
  ${CMAKE_SOURCE_DIR}/host/message.xsd
  DESTINATION share/olb)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/app/demo.sh DESTINATION share/olb)
