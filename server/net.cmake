# The Server program's edge: command line, libuv network adapter, headless
# runner and main(). Included from server/CMakeLists.txt.

# Command line, shared with the console.
add_library(parlo_server_options STATIC ${CMAKE_CURRENT_LIST_DIR}/options.cpp)
target_include_directories(parlo_server_options PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(parlo_server_options PRIVATE parlo_warnings)
set_target_properties(parlo_server_options PROPERTIES AUTOMOC OFF)

# libuv adapter: listener, connections, output queues.
add_library(parlo_server_net STATIC ${CMAKE_CURRENT_LIST_DIR}/net.cpp
    ${CMAKE_CURRENT_LIST_DIR}/net_core.cpp)
target_include_directories(parlo_server_net PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(parlo_server_net PUBLIC PkgConfig::LIBUV PRIVATE parlo_warnings)
set_target_properties(parlo_server_net PROPERTIES AUTOMOC OFF)


# The program; it needs the core.
if(TARGET parlo_server_core)
    add_library(parlo_server_headless STATIC ${CMAKE_CURRENT_LIST_DIR}/headless.cpp)
    target_link_libraries(parlo_server_headless
        PUBLIC parlo_server_net parlo_server_options parlo_server_core PRIVATE parlo_warnings)
    set_target_properties(parlo_server_headless PROPERTIES AUTOMOC OFF)

    add_executable(Server ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
    target_link_libraries(Server PRIVATE parlo_server_headless parlo_warnings)
    if(TARGET parlo_server_console)
        target_compile_definitions(Server PRIVATE PARLO_HAS_CONSOLE)
        target_link_libraries(Server PRIVATE parlo_server_console)
    else()
        set_target_properties(Server PROPERTIES AUTOMOC OFF)
    endif()
endif()
