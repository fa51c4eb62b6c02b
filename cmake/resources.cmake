# velmorant_icon_resource(TARGET ID PNG...): links icon ID, in the sizes of the
# PNG files, into the Linux program TARGET, where LoadIconA finds it (see
# platform/include/platform_resources.h). The Windows program takes the same
# icon from its resource script instead.
function(velmorant_icon_resource target id)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  set(text "// Made by cmake/resources.cmake from the icon files.\n#include \"platform_resources.h\"\n\nnamespace {\n")
  set(images "")
  set(index 0)
  foreach(png ${ARGN})
    file(READ ${png} bytes HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
    string(APPEND text "const unsigned char image_${index}[] = {${bytes}};\n")
    string(APPEND images "{image_${index}, sizeof image_${index}}, ")
    math(EXPR index "${index} + 1")
  endforeach()
  string(APPEND text "const PlatformIconImage images[] = {${images}};\n}  // namespace\n\n"
         "extern \"C\" const PlatformIconResource platform_program_icons[] = {{${id}, images, ${index}}, {0, nullptr, 0}};\n")
  file(CONFIGURE OUTPUT ${source} CONTENT "${text}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARGN})
  target_sources(${target} PRIVATE ${source})
endfunction()
