/*
 * The service's trace log.
 *
 * One plain-text file receives one line per Log() call:
 *   "line N===Y-M-D h:m:s   <source base name>:<function> --- <message>\n"
 * The file is emptied before a line is written once it holds 10,000,001 bytes or more.
 * Single-threaded use only: the line counter, the stream and the enabled flag are process-wide.
 */
#ifndef CARDWATCH_LOG_H
#define CARDWATCH_LOG_H

/* Enables logging to the file at path (at most 1023 characters). A missing or longer path
 * disables logging instead. The file is opened lazily by the first line. */
void InitLogSystem(const char *path);

/* Formats one line and appends it to the log file, then flushes it. Does nothing when file,
 * function or format is missing or logging is disabled. A variable text (a path, a command)
 * is passed as the argument of "%s", never as the format itself. */
void Log(const char *file, const char *function, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

/* Closes the log file if open and disables logging. */
void CloseLogSystem(void);

#endif /* CARDWATCH_LOG_H */
