# gpsd adapter and GPS time helpers; paths relative to app/.
target_sources(vorlan_common PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CGpsdClient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CGpsTime.cpp)
# Only CGpsdClient.cpp includes gps.h, so libgps stays a link dependency.
target_link_libraries(vorlan_common PRIVATE PkgConfig::LIBGPS)
