# Imported targets for the cross-built third-party libraries.
function(tq_import_static name)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION "${TQ_DEPS}/lib/lib${name}.a"
    INTERFACE_INCLUDE_DIRECTORIES "${TQ_DEPS}/include")
endfunction()

foreach(lib gtest gtest_main gmock jpeg x264 mp3lame avformat avcodec swscale avutil 7zdec)
  tq_import_static(${lib})
endforeach()
set_property(TARGET gtest_main APPEND PROPERTY INTERFACE_LINK_LIBRARIES gtest)
set_property(TARGET gmock APPEND PROPERTY INTERFACE_LINK_LIBRARIES gtest)
set_property(TARGET avutil APPEND PROPERTY INTERFACE_LINK_LIBRARIES bcrypt)
set_property(TARGET avcodec APPEND PROPERTY INTERFACE_LINK_LIBRARIES avutil x264 mp3lame)
set_property(TARGET avformat APPEND PROPERTY INTERFACE_LINK_LIBRARIES avcodec avutil ws2_32 secur32)
set_property(TARGET swscale APPEND PROPERTY INTERFACE_LINK_LIBRARIES avutil)
