# parlo_server_core: log, user database, online registry and command handlers
# (plain C++, no Qt, no libuv).
add_library(parlo_server_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/log.cpp
    ${CMAKE_CURRENT_LIST_DIR}/userdb.cpp
    ${CMAKE_CURRENT_LIST_DIR}/userdb_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/online.cpp
    ${CMAKE_CURRENT_LIST_DIR}/server_core.cpp
    ${CMAKE_CURRENT_LIST_DIR}/handlers.cpp
)
target_include_directories(parlo_server_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(parlo_server_core PUBLIC parlo_protocol PRIVATE parlo_warnings)
