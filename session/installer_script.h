// The installer script, embedded byte for byte at build time.
#ifndef VTF_SESSION_INSTALLER_SCRIPT_H
#define VTF_SESSION_INSTALLER_SCRIPT_H

extern const unsigned char kInstallerScript[];
extern const unsigned long kInstallerScriptSize;

#endif
