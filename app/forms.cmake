target_sources(tevcore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/frmMDI.cpp ${CMAKE_CURRENT_LIST_DIR}/frmMDI.h
)
