/*
 * Stands in for the Java runtime's java.exe in the dialog tests: appends its command line
 * to the file named by QUENLOW_DIALOG_LOG, stays QUENLOW_DIALOG_SLEEP milliseconds (so
 * that the test can look at the screen while an installer runs) and exits with
 * QUENLOW_DIALOG_EXIT.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(void) {
    const char* log = getenv("QUENLOW_DIALOG_LOG");
    const char* pause = getenv("QUENLOW_DIALOG_SLEEP");
    const char* code = getenv("QUENLOW_DIALOG_EXIT");
    if (log != NULL) {
        FILE* file = fopen(log, "a");
        if (file != NULL) {
            fprintf(file, "%s\n", GetCommandLineA());
            fclose(file);
        }
    }
    if (pause != NULL)
        Sleep((DWORD)atoi(pause));
    return code != NULL ? atoi(code) : 0;
}
