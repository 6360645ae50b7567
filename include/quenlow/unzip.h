/*
 * The Quenlow ZIP engine: one call that lists, tests or extracts the entries of one
 * archive. The caller fills an option record and a callback record for each call and
 * frees both afterwards; the engine keeps nothing between calls. All output and every
 * question reach the caller through the callbacks, on the calling thread.
 *
 * Plain C so that C and C++ callers share one definition.
 */
#ifndef QUENLOW_UNZIP_H
#define QUENLOW_UNZIP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes: a call returns the worst one met. */
enum {
    RC_OK = 0,           /* success */
    RC_WARNING = 1,      /* finished, with warnings */
    RC_ERROR = 2,        /* errors in the archive or in entries; processing went on */
    RC_FATAL = 3,        /* severe error: missing callback, unreadable archive, lost header */
    RC_NOMEM = 4,        /* option record refused, or no memory for working buffers */
    RC_NOMEM2 = 5,       /* no memory for the password buffer, or the password callback gave up */
    RC_NOMEM3 = 6,       /* not enough memory to inflate an extra-field block */
    RC_NOMEM4 = 7,       /* not enough memory to unpack an extra-field block */
    RC_NOARCHIVE = 9,    /* no archive name, archive not found, no central directory */
    RC_PARAM = 10,       /* a name pattern longer than 16224 characters */
    RC_NOMATCH = 11,     /* no entry selected, or an include pattern matched nothing */
    RC_DISKFULL = 50,    /* writing an output file (or to the console) failed */
    RC_EOF = 51,         /* the archive ended early */
    RC_ISDIR = 76,       /* the archive name names a directory */
    RC_EFTRUNC = 79,     /* an extra-field block is truncated */
    RC_ABORT = 80,       /* a callback asked to stop */
    RC_UNSUPPORTED = 81, /* entries skipped: unsupported method or encryption */
    RC_BADPASSWORD = 82  /* entries skipped for want of the right password */
};

/* Answers of askReplace. */
enum {
    REPLACE_NO = 100,    /* skip this entry */
    REPLACE_YES = 102,   /* overwrite this file (so does any value not listed here) */
    REPLACE_ALL = 103,   /* overwrite this and every later existing file without asking */
    REPLACE_NONE = 104,  /* skip this and every later existing file */
    REPLACE_RENAME = 105 /* the callback wrote a new name into the buffer */
};

/* The only record version the engine accepts. */
#define UNZIP_RECORD_VERSION 1536

/* 21 fields of 32 bits on the 32-bit product, in this order. Flags: zero or non-zero. */
typedef struct UnzipOptions {
    int recordVersion;      /* must be UNZIP_RECORD_VERSION */
    int newerOnly;          /* only entries newer than an existing file, or new files */
    int underscoreBlanks;   /* blanks in names become underscores */
    int askBeforeOverwrite; /* with overwriteAll zero: ask through askReplace */
    int quietLevel;         /* 0 lets every message through; larger values silence more */
    int writeToConsole;     /* entry data goes to printText instead of files */
    int testOnly;           /* decompress and check, write nothing */
    int listMode;           /* report entries through listEntry, extract nothing */
    int freshenOnly;        /* replace only files that exist (by newer entries) */
    int showComment;        /* show the archive comment */
    int directoryMode;      /* 0 junk paths, 1 keep paths without "..", 2+ allow ".." */
    int overwriteAll;       /* overwrite existing files without asking */
    int convertText;        /* end-of-line conversion of text entries */
    int detailedInfo;       /* detailed report mode */
    int keepBackup;         /* rename an existing file with "~" instead of deleting it */
    int caseInsensitive;    /* patterns match without regard to case */
    int timestampMode;      /* 0 times on files and dirs, 1 not on dirs, 2 on neither */
    int unicodeMode;        /* 0 or 1 use UTF-8 names, 2+ ignore them */
    int restoreSecurity;    /* 0 off, 1 user mode, 2 with privileges */
    const char* archivePath;     /* required; fewer than 260 characters */
    const char* targetDirectory; /* extraction target or NULL for the current directory */
} UnzipOptions;

typedef int (*UnzipPrintText)(const char* text, uint32_t length);
typedef void (*UnzipNotifySound)(void);
typedef int (*UnzipAskReplace)(char* nameBuffer, int bufferSize);
typedef int (*UnzipAskPassword)(char* buffer, int bufferSize, const char* prompt,
                                const char* entryName);
typedef void (*UnzipListEntry)(uint64_t uncompressedSize, uint64_t compressedSize,
                               unsigned ratioPercent, int date1, int date2, int date3,
                               int hour, int minute, char caseMark, const char* name,
                               const char* methodName, uint32_t crc, char encryptedMark);
typedef int (*UnzipEntryDone)(const char* name, uint64_t size);
typedef void (*UnzipListEntry32)(uint32_t uncompressedLow, uint32_t uncompressedHigh,
                                 uint32_t compressedLow, uint32_t compressedHigh,
                                 unsigned ratioPercent, int date1, int date2, int date3,
                                 int hour, int minute, char caseMark, const char* name,
                                 const char* methodName, uint32_t crc, char encryptedMark);
typedef int (*UnzipEntryDone32)(const char* name, uint32_t sizeLow, uint32_t sizeHigh);

/* Eight function slots, then the totals the engine writes in listing mode. */
typedef struct UnzipCallbacks {
    UnzipPrintText printText;     /* required: every piece of engine output */
    UnzipNotifySound notifySound; /* optional; the engine fills an empty slot */
    UnzipAskReplace askReplace;   /* required */
    UnzipAskPassword askPassword; /* optional */
    UnzipListEntry listEntry;     /* optional */
    UnzipEntryDone entryDone;     /* optional; non-zero answer stops with RC_ABORT */
    UnzipListEntry32 listEntry32; /* optional; used only when listEntry is empty */
    UnzipEntryDone32 entryDone32; /* optional; non-zero answer stops with RC_ABORT */
    uint64_t sumCompressed;
    uint64_t sumUncompressed;
    uint64_t entryCount;
    uint32_t ratioPercent;
    uint16_t commentLength;
} UnzipCallbacks;

int Qz_SingleEntryUnzip(int includeCount, char** includeList, int excludeCount,
                        char** excludeList, const UnzipOptions* options,
                        UnzipCallbacks* callbacks);

#ifdef __cplusplus
}
#endif

#endif /* QUENLOW_UNZIP_H */
