# Included at the end of project() in a cross build (see toolchain-armhf.cmake):
# defines Qt's code generators as the host's programs before the board's Qt
# packages are found, which only define them when they are not yet defined.
set(VORLAN_HOST_QT_BINDIR "/usr/lib/qt5/bin" CACHE PATH "Host Qt 5 code generators (qtbase5-dev-tools)")
foreach(_tool moc rcc qdbusxml2cpp qdbuscpp2xml)
  if(NOT TARGET Qt5::${_tool})
    if(NOT EXISTS "${VORLAN_HOST_QT_BINDIR}/${_tool}")
      message(FATAL_ERROR "host ${_tool} not found in ${VORLAN_HOST_QT_BINDIR}: install qtbase5-dev-tools")
    endif()
    add_executable(Qt5::${_tool} IMPORTED GLOBAL)
    set_target_properties(Qt5::${_tool} PROPERTIES IMPORTED_LOCATION "${VORLAN_HOST_QT_BINDIR}/${_tool}")
  endif()
endforeach()
