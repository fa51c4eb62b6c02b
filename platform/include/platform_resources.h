// The program's own resources on Linux, where an executable has no resource
// section: the build turns the icon files that the Windows resource script
// names into this table (cmake/resources.cmake) and links it into the
// program, and LoadIconA with the program's module finds them in it by id.
// A program without a table has no resources of its own.
#pragma once

#include <cstddef>

struct PlatformIconImage {
  const unsigned char* png;  // one size of the icon, as a PNG file
  std::size_t size;
};

struct PlatformIconResource {
  int id;  // 0 ends the table
  const PlatformIconImage* images;
  std::size_t count;
};

extern "C" const PlatformIconResource platform_program_icons[] __attribute__((weak));
