# The main window and its small forms.
target_sources(tevcore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/frmMDI.cpp ${CMAKE_CURRENT_LIST_DIR}/frmMDI.h
  ${CMAKE_CURRENT_LIST_DIR}/frmCancelSend.cpp ${CMAKE_CURRENT_LIST_DIR}/frmCancelSend.h
  ${CMAKE_CURRENT_LIST_DIR}/frmAbout.cpp ${CMAKE_CURRENT_LIST_DIR}/frmAbout.h
  ${CMAKE_CURRENT_LIST_DIR}/frmAppSettings.cpp ${CMAKE_CURRENT_LIST_DIR}/frmAppSettings.h
  ${CMAKE_CURRENT_LIST_DIR}/frmProgressBar.cpp ${CMAKE_CURRENT_LIST_DIR}/frmProgressBar.h
  ${CMAKE_CURRENT_LIST_DIR}/LongOperation.cpp ${CMAKE_CURRENT_LIST_DIR}/LongOperation.h
  ${CMAKE_CURRENT_LIST_DIR}/ClockOperation.cpp ${CMAKE_CURRENT_LIST_DIR}/ClockOperation.h
  ${CMAKE_CURRENT_LIST_DIR}/Screen.cpp ${CMAKE_CURRENT_LIST_DIR}/Screen.h
)
target_link_libraries(tevcore PUBLIC tevcomm)
# The About box shows the program's version.
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/frmAbout.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  TEV_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  TEV_VERSION_MINOR=$<IF:$<BOOL:${PROJECT_VERSION_MINOR}>,${PROJECT_VERSION_MINOR},0>
  TEV_VERSION_REVISION=$<IF:$<BOOL:${PROJECT_VERSION_PATCH}>,${PROJECT_VERSION_PATCH},0>)
