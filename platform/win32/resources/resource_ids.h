/* Resource identifiers of the Windows programs; read by windres and by C++. */
#pragma once

/* The program's icon (the first icon is the one the shell shows). */
#define PELTO_IDI_PROGRAM 1
/* The picture of the warning window: the installer's question to answer with "아니오". */
#define PELTO_IDB_WARNING_PICTURE 201
