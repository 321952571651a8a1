target_sources(tevcore PRIVATE
  ${CMAKE_SOURCE_DIR}/posting/KovraDS.cpp ${CMAKE_SOURCE_DIR}/posting/KovraDS.h
  ${CMAKE_SOURCE_DIR}/posting/PunchParse.cpp ${CMAKE_SOURCE_DIR}/posting/PunchParse.h
  ${CMAKE_SOURCE_DIR}/posting/PostingFile.cpp ${CMAKE_SOURCE_DIR}/posting/PostingFile.h
  ${CMAKE_SOURCE_DIR}/posting/Calendar.cpp ${CMAKE_SOURCE_DIR}/posting/Calendar.h
  ${CMAKE_SOURCE_DIR}/posting/StoredForms.cpp ${CMAKE_SOURCE_DIR}/posting/StoredForms.h
  ${CMAKE_SOURCE_DIR}/posting/Pairing.cpp ${CMAKE_SOURCE_DIR}/posting/Pairing.h
  ${CMAKE_SOURCE_DIR}/posting/HoursWorked.cpp ${CMAKE_SOURCE_DIR}/posting/HoursWorked.h
  ${CMAKE_SOURCE_DIR}/posting/Attendance.cpp
  ${CMAKE_SOURCE_DIR}/posting/Labor.cpp ${CMAKE_SOURCE_DIR}/posting/Labor.h
  ${CMAKE_SOURCE_DIR}/posting/Sorb01.cpp ${CMAKE_SOURCE_DIR}/posting/Sorb01.h
  ${CMAKE_SOURCE_DIR}/posting/SorbImport.cpp ${CMAKE_SOURCE_DIR}/posting/SorbImport.h
)
