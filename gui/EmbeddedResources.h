#pragma once

// The files of resources/ compiled into the plug-in, so that it is one file. The table is
// generated at build time.

// Finds the resource by file name ("bmp00128.png"); false when there is none.
bool findEmbeddedResource(const char* name, const unsigned char** data, unsigned long* size);
