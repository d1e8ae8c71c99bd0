/* The installer's version, read by the resource script and by the code. */
#ifndef VTF_VERSION_H
#define VTF_VERSION_H

#define VTF_VERSION_MAJOR 0
#define VTF_VERSION_MINOR 19
#define VTF_VERSION_PATCH 21

#define VTF_STRINGIZE_(x) #x
#define VTF_STRINGIZE(x) VTF_STRINGIZE_(x)
#define VTF_VERSION_STRING \
  VTF_STRINGIZE(VTF_VERSION_MAJOR) "." VTF_STRINGIZE(VTF_VERSION_MINOR) "." VTF_STRINGIZE(VTF_VERSION_PATCH)

#endif
