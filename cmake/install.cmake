# cmake --install: the program with everything beside it in one directory the user can
# write to (the database lives there), a desktop menu entry and the icon.
# The default prefix becomes ~/.local, also in a build directory made before this rule.
if(DEFINED ENV{HOME} AND NOT CT_PREFIX_DEFAULTED AND (CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT
   OR CMAKE_INSTALL_PREFIX STREQUAL "/usr/local"))
  set(CMAKE_INSTALL_PREFIX "$ENV{HOME}/.local" CACHE PATH "Install prefix" FORCE)
endif()
set(CT_PREFIX_DEFAULTED ON CACHE INTERNAL "")
set(CT_INSTALL_APPDIR "lib/ctwork" CACHE STRING "Program directory, relative to the prefix")

install(TARGETS ctwork ctdb RUNTIME DESTINATION ${CT_INSTALL_APPDIR})
install(FILES ${PROJECT_SOURCE_DIR}/help/help.htm DESTINATION ${CT_INSTALL_APPDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/help/images DESTINATION ${CT_INSTALL_APPDIR}
  FILES_MATCHING PATTERN "*.png")
install(FILES ${PROJECT_SOURCE_DIR}/resources/images/ctwork.png
  DESTINATION share/icons/hicolor/64x64/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/images/ctwork@2x.png
  DESTINATION share/icons/hicolor/128x128/apps RENAME ctwork.png)

# The menu entry names the program by its final path (the prefix may be given only now,
# with cmake --install --prefix); DESTDIR is a staging area and not part of that path.
install(CODE "
  set(app \"\${CMAKE_INSTALL_PREFIX}/${CT_INSTALL_APPDIR}\")
  set(CT_APP_DIR \"\${app}\")
  set(CT_APP_EXE \"\${app}/ctwork\")
  set(out \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/ctwork.desktop\")
  message(STATUS \"Installing: \${out}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/resources/ctwork.desktop.in\" \"\${out}\" @ONLY)
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  foreach(exe ctwork ctdb)
    file(CREATE_LINK \"../${CT_INSTALL_APPDIR}/\${exe}\"
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${exe}\" SYMBOLIC)
  endforeach()
  # A first install gets an empty database; an existing one is never touched.
  if(\"\$ENV{DESTDIR}\" STREQUAL \"\" AND NOT EXISTS \"\${app}/ctsource.mdb\")
    execute_process(COMMAND \"\${app}/ctdb\" init \"\${app}\" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(WARNING \"ctdb init failed: \${rc}\")
    endif()
  endif()
")
