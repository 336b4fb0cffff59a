#pragma once

#include <cstdio>

// Reads one line of at most size - 1 characters; a carriage return or a line feed ends the line
// and stays in the buffer. Answers null, leaving the buffer untouched, only when the end of the
// file comes before any character.
char* myfgets(char* buffer, int size, FILE* file);
