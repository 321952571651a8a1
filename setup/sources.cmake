# The clock setup screens and what they store.
target_sources(tevcore PRIVATE
  ${CMAKE_SOURCE_DIR}/setup/ClkSetup.cpp ${CMAKE_SOURCE_DIR}/setup/ClkSetup.h
  ${CMAKE_SOURCE_DIR}/setup/ClockParms.cpp ${CMAKE_SOURCE_DIR}/setup/ClockParms.h
  ${CMAKE_SOURCE_DIR}/setup/FuncKeys.cpp ${CMAKE_SOURCE_DIR}/setup/FuncKeys.h
  ${CMAKE_SOURCE_DIR}/setup/ClkMsgs.cpp ${CMAKE_SOURCE_DIR}/setup/ClkMsgs.h
  ${CMAKE_SOURCE_DIR}/setup/CmdFile.cpp ${CMAKE_SOURCE_DIR}/setup/CmdFile.h
  ${CMAKE_SOURCE_DIR}/setup/CmdSources.cpp ${CMAKE_SOURCE_DIR}/setup/CmdSources.h
  ${CMAKE_SOURCE_DIR}/setup/CmdWalk.cpp ${CMAKE_SOURCE_DIR}/setup/CmdWalk.h
  ${CMAKE_SOURCE_DIR}/setup/CmdLink.cpp
  ${CMAKE_SOURCE_DIR}/setup/frmDldFile.cpp ${CMAKE_SOURCE_DIR}/setup/frmDldFile.h
  ${CMAKE_SOURCE_DIR}/setup/frmStpClkParm.cpp ${CMAKE_SOURCE_DIR}/setup/frmStpClkParm.h
  ${CMAKE_SOURCE_DIR}/setup/frmFuncKeyStp.cpp ${CMAKE_SOURCE_DIR}/setup/frmFuncKeyStp.h
  ${CMAKE_SOURCE_DIR}/setup/frmStdClkMsg.cpp ${CMAKE_SOURCE_DIR}/setup/frmStdClkMsg.h
  ${CMAKE_SOURCE_DIR}/setup/frmContPollMsg.cpp ${CMAKE_SOURCE_DIR}/setup/frmContPollMsg.h
)
