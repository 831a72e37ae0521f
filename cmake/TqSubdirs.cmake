# Adds every direct subfolder of the current folder that has a CMakeLists.txt,
# so independent pieces (tools, stand-ins) need no shared list to edit.
function(tq_add_subdirs)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${child})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt
       AND NOT relative IN_LIST TQ_SKIP_DIRS)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
