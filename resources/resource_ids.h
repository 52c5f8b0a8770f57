/* The ids of the Windows executable's resources, shared by dongdong-recorder.rc and the Win32
   window layer. Constants only; read by the resource compiler as well as by C++. */
#ifndef DD_RESOURCE_IDS_H
#define DD_RESOURCE_IDS_H

/* The application icon. The lowest icon id is the one the shell shows for the file. */
#define DD_ICON_APPLICATION 1

#endif
