target_sources(tevcore PRIVATE
  ${CMAKE_SOURCE_DIR}/link/SerialClk.cpp ${CMAKE_SOURCE_DIR}/link/SerialClk.h
  ${CMAKE_SOURCE_DIR}/link/SerialClkDetail.h
  ${CMAKE_SOURCE_DIR}/link/SerialClkPort.cpp
  ${CMAKE_SOURCE_DIR}/link/SerialClkDownload.cpp
  ${CMAKE_SOURCE_DIR}/link/TCPIP.cpp ${CMAKE_SOURCE_DIR}/link/TCPIP.h
  ${CMAKE_SOURCE_DIR}/link/HostsFile.cpp ${CMAKE_SOURCE_DIR}/link/HostsFile.h
  ${CMAKE_SOURCE_DIR}/link/ClockListModel.cpp ${CMAKE_SOURCE_DIR}/link/ClockListModel.h
  ${CMAKE_SOURCE_DIR}/link/TcpClockModel.cpp ${CMAKE_SOURCE_DIR}/link/TcpClockModel.h
  ${CMAKE_SOURCE_DIR}/link/frmTCPIPClkCommParm.cpp ${CMAKE_SOURCE_DIR}/link/frmTCPIPClkCommParm.h
  ${CMAKE_SOURCE_DIR}/link/frmSelTCPIPClk.cpp ${CMAKE_SOURCE_DIR}/link/frmSelTCPIPClk.h
  ${CMAKE_SOURCE_DIR}/link/ClocksTable.cpp ${CMAKE_SOURCE_DIR}/link/ClocksTable.h
  ${CMAKE_SOURCE_DIR}/link/frmModemDial.cpp ${CMAKE_SOURCE_DIR}/link/frmModemDial.h
  ${CMAKE_SOURCE_DIR}/link/frmSerialClkCommParm.cpp ${CMAKE_SOURCE_DIR}/link/frmSerialClkCommParm.h
  ${CMAKE_SOURCE_DIR}/link/frmSerialClkSelect.cpp ${CMAKE_SOURCE_DIR}/link/frmSerialClkSelect.h
  ${CMAKE_SOURCE_DIR}/link/frmClockPollProp.cpp ${CMAKE_SOURCE_DIR}/link/frmClockPollProp.h
  ${CMAKE_SOURCE_DIR}/link/frmSetTime.cpp ${CMAKE_SOURCE_DIR}/link/frmSetTime.h
  ${CMAKE_SOURCE_DIR}/link/frmSendCmd.cpp ${CMAKE_SOURCE_DIR}/link/frmSendCmd.h
)
target_link_libraries(tevcore PUBLIC tevframe)
