// Where the password of encrypted entries comes from: the command line, or a question
// on the terminal that does not echo what is typed.
#pragma once

// Makes `answerGivenPassword` hand out `text` (kept, not copied: argv outlives the run).
void useGivenPassword(const char* text);

// The engine's askPassword with --password: the given text every time it is asked, so a
// wrong one ends as "incorrect password". 0 = answered, -1 = it does not fit the buffer.
int answerGivenPassword(char* buffer, int bufferSize, const char* prompt, const char* entryName);

// True when standard input is a terminal someone can type a password on.
bool inputIsTerminal();

// The engine's askPassword on a terminal: shows the prompt and reads a line with echo
// turned off. 0 = a password was entered, -1 = input ended (the user gave up).
int askPasswordOnTerminal(char* buffer, int bufferSize, const char* prompt, const char* entryName);
