# plenvo_dxf_geometry: tag numbers and entity extents (dxf_tags.cpp, dxf_extents.cpp) on their own, for tests
# and tools that measure entities without the engine's reader. The engine (plenvo_dxf) compiles the same two
# files itself, so link one or the other, never both. Guarded: any CMakeLists may include() this file.
if(NOT TARGET plenvo_dxf_geometry)
  add_library(plenvo_dxf_geometry STATIC
    ${CMAKE_CURRENT_LIST_DIR}/dxf_tags.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dxf_extents.cpp)
  plenvo_target(plenvo_dxf_geometry)
  target_link_libraries(plenvo_dxf_geometry PUBLIC plenvo_core)
endif()
