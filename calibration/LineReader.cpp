#include "calibration/LineReader.h"

char* myfgets(char* buffer, int size, FILE* file) {
    if (buffer == nullptr || file == nullptr || size < 1) return nullptr;
    int stored = 0;
    bool atEnd = false;
    while (stored < size - 1) {
        const int ch = std::getc(file);
        if (ch == EOF) {
            atEnd = true;
            break;
        }
        buffer[stored++] = static_cast<char>(ch);
        if (ch == '\n' || ch == '\r') break;
    }
    if (stored == 0 && atEnd) return nullptr;
    buffer[stored] = '\0';
    return buffer;
}
