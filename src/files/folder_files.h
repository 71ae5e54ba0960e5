// Deleting the files of one folder level, shared by the install folder and the program group.
#pragma once

#include <windows.h>

// Offers every file entry of a started search of folder to DeleteFile, from the entry in found
// onwards; subfolders are not entered. An entry whose path does not fit a PathBuffer, or whose
// name is not a plain name of one entry (IsPlainEntryName), is skipped. Closes the search.
void DeleteFilesFound(const char* folder, HANDLE search, WIN32_FIND_DATAA* found);
