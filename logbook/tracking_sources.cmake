# Tracking decision; paths relative to logbook/.
target_sources(vorlan_common PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CTracking.cpp)
