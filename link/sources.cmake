target_sources(tevcore PRIVATE
  ${CMAKE_SOURCE_DIR}/link/SerialClk.cpp ${CMAKE_SOURCE_DIR}/link/SerialClk.h
  ${CMAKE_SOURCE_DIR}/link/SerialClkDetail.h
  ${CMAKE_SOURCE_DIR}/link/SerialClkPort.cpp
  ${CMAKE_SOURCE_DIR}/link/SerialClkDownload.cpp
  ${CMAKE_SOURCE_DIR}/link/TCPIP.cpp ${CMAKE_SOURCE_DIR}/link/TCPIP.h
  ${CMAKE_SOURCE_DIR}/link/HostsFile.cpp ${CMAKE_SOURCE_DIR}/link/HostsFile.h
  ${CMAKE_SOURCE_DIR}/link/TcpClockModel.cpp ${CMAKE_SOURCE_DIR}/link/TcpClockModel.h
  ${CMAKE_SOURCE_DIR}/link/frmTCPIPClkCommParm.cpp ${CMAKE_SOURCE_DIR}/link/frmTCPIPClkCommParm.h
  ${CMAKE_SOURCE_DIR}/link/frmSelTCPIPClk.cpp ${CMAKE_SOURCE_DIR}/link/frmSelTCPIPClk.h
)
target_link_libraries(tevcore PUBLIC tevframe)
