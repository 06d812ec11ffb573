/* The C interface of the Castanet update library (mrbupd.dll).
 *
 * The updater loads the library at run time (LoadLibrary/dlopen) and finds every call by
 * name, so this header gives each call both as a declaration and as a function-pointer
 * type. One library session serves one channel:
 *
 *   mrbInitUpdate -> mrbAppendLog* -> mrbIsPrepareNeeded -> mrbPrepareEx ->
 *   mrbRemoveProperty* -> mrbVerifyEx -> mrbIsUpdateAvailable -> mrbUpdate ->
 *   mrbClean -> mrbTermUpdate
 *
 * All texts are 8-bit and zero-terminated. Paths are Windows paths. Callbacks run on the
 * caller's thread, inside the library call that raised them.
 */
#ifndef CASTANET_H_
#define CASTANET_H_

#include <stdint.h>

#if defined(_WIN32)
#define MRB_CALL __stdcall
#if defined(MRBUPD_BUILDING)
#define MRB_EXPORT __declspec(dllexport)
#else
#define MRB_EXPORT __declspec(dllimport)
#endif
#else
#define MRB_CALL
#define MRB_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A library session; 0 is never a valid session. */
typedef struct MrbSession* MrbHandle;

/* Event callback: a message code (below) and a text or NULL (usually a channel-relative
 * file name). Answers 0 to go on, -1 to refuse the current step or stop. */
typedef int(MRB_CALL* MrbEventCallback)(uint16_t code, const char* text);

/* Text callback: may write a text into the buffer; answers -1 when it supplies none. */
typedef int(MRB_CALL* MrbTextCallback)(char* buffer);

/* Credentials callback: writes "user:password" or an empty text into the buffer, which
 * holds MRB_CREDENTIALS_BUFFER_SIZE bytes. The answer is not consulted. */
typedef int(MRB_CALL* MrbCredentialsCallback)(char* buffer);

#define MRB_CREDENTIALS_BUFFER_SIZE 1024

/* Option bits of the init record. */
#define MRB_OPTION_DEFAULT 0x1
#define MRB_OPTION_STRICT 0x8

/* The init record, fields in this order. */
typedef struct MrbInitRecord {
  const char* target_directory;       /* where the channel is installed */
  MrbEventCallback event_callback;    /* required */
  MrbTextCallback text_callback;      /* may be NULL */
  MrbCredentialsCallback credentials; /* may be NULL: no credentials */
  const char* user_agent;             /* may be NULL */
  MrbHandle* handle_out;              /* receives the handle too; may be NULL */
  int32_t options;                    /* MRB_OPTION_* bits: 1, or 9 for strict channels */
  const char* channel_url;            /* "http://host:port/<channel name>" */
  int32_t reserved;                   /* 0 */
} MrbInitRecord;

/* Update events (100-111). */
#define CASTANET_UPDATE_CONNECTING 100
#define CASTANET_UPDATE_SENDING 101
#define CASTANET_UPDATE_WAITING 102
#define CASTANET_UPDATE_RECEIVING 103
#define CASTANET_UPDATE_TRANSFER 104   /* text: file being transferred */
#define CASTANET_UPDATE_INSTALLING 105 /* text: compression savings, "%d%%" */
#define CASTANET_UPDATE_INSTALL 106    /* text: file about to be installed; -1 refuses */
#define CASTANET_UDPATE_REPAIRING 107
#define CASTANET_UPDATE_NO_CHANGES 108
#define CASTANET_UDPATE_AVAILABLE 109 /* text: bytes the update needs */
#define CASTANET_UDPATE_DONE 110
#define CASTANET_UDPATE_CANCELED 111

/* File events. */
#define CASTANET_UPDATE_CREATE 200
#define CASTANET_UPDATE_UPDATE 201
#define CASTANET_UPDATE_MKDIR 202
#define CASTANET_UPDATE_DELETE 203
#define CASTANET_PREPARE_FILE 204 /* text: file hashed while preparing */

/* Verify events (300-306), raised by mrbVerifyEx. */
#define CASTANET_VERIFY_MISSING 300
#define CASTANET_VERIFY_CANT_READ 301
#define CASTANET_VERIFY_CANT_WRITE 302
#define CASTANET_VERIFY_NOT_DIRECTORY 303
#define CASTANET_VERIFY_NOT_FILE 304
#define CASTANET_VERIFY_READ_ERROR 305
#define CASTANET_VERIFY_MODIFIED 306

/* Undo events (400-403), raised while a failed install is undone. */
#define CASTANET_UNDO_CREATE 400  /* a deleted file is put back */
#define CASTANET_UNDO_REPLACE 401 /* a replaced file gets its old version back */
#define CASTANET_UNDO_MKDIR 402   /* a removed directory is put back */
#define CASTANET_UNDO_DELETE 403  /* a created file or directory is removed */

/* Notices that carry a text for the log; they are not errors. */
#define CASTANET_NOTICE 600

/* Progress events. */
#define CASTANET_PROGRESS_START 5009
#define CASTANET_PROGRESS_UPDATE 5010  /* text: byte count */
#define CASTANET_PROGRESS_PERCENT 5011 /* text: "%d%%" */
#define CASTANET_PROGRESS_END 5012

/* Errors (1000-1051). */
#define CASTANET_ERROR_CONNECT_FAILED 1000
#define CASTANET_ERROR_NO_SUCH_CHANNEL 1004
#define CASTANET_ERROR_UNEXPECTED_EOF 1005
#define CASTANET_ERROR_DISK_FULL 1008
#define CASTANET_ERROR_CANT_READ 1010
#define CASTANET_ERROR_FILE_MISSING 1016
#define CASTANET_ERROR_INSTALL_FAILED 1017
#define CASTANET_ERROR_RENAME_FAILED 1019
#define CASTANET_ERROR_DELETE_FAILED 1021
#define CASTANET_ERROR_WRONG_PASSWD 1025
#define CASTANET_ERROR_NO_WINSOCK 1049
/* Errors of this library's own channel checks. */
#define CASTANET_ERROR_BAD_SIGNATURE 1030 /* manifest or pointer not signed by a trusted key */
#define CASTANET_ERROR_ROLLBACK 1031      /* server offers an older version than installed */
#define CASTANET_ERROR_EXPIRED 1032       /* the channel pointer has expired (frozen server) */
#define CASTANET_ERROR_BAD_CONTENT 1033   /* object or manifest fails its length or SHA-256 */
#define CASTANET_ERROR_SERVER 1034        /* any other failure of a transfer */
#define CASTANET_ERROR_LOCKED 1035        /* another process is updating this channel */
#define CASTANET_ERROR_BAD_STATE 1036     /* the local channel state cannot be used */

/* mrbUpdate results besides "done". */
#define MRB_UPDATE_FAILED (-1)
#define MRB_UPDATE_CANCELED (-2)

/* mrbPrepareEx and mrbVerifyEx modes. */
#define MRB_MODE_NORMAL 2
#define MRB_MODE_STRICT 3

/* Opens a session for one channel; 0 on failure. */
MRB_EXPORT MrbHandle MRB_CALL mrbInitUpdate(const MrbInitRecord* init);
/* Adds a request-log line (sent to the server with the requests); 0 on success. */
MRB_EXPORT int MRB_CALL mrbAppendLog(MrbHandle handle, int32_t reserved, const char* text,
                                     int32_t length);
/* Nonzero when mrbPrepareEx must run before an update (unfinished install, no state). */
MRB_EXPORT int MRB_CALL mrbIsPrepareNeeded(MrbHandle handle);
/* Completes or undoes an interrupted install; mode 3 also rebuilds the local state by
 * hashing the files on disk. 0 on success. */
MRB_EXPORT int MRB_CALL mrbPrepareEx(MrbHandle handle, int32_t mode, int32_t reserved1,
                                     int32_t reserved2);
/* Reports missing, unreadable and modified files through verify events; 0 when clean. */
MRB_EXPORT int MRB_CALL mrbVerifyEx(MrbHandle handle, int32_t mode);
/* Nonzero when an update is available; *bytes receives what it will transfer. */
MRB_EXPORT int MRB_CALL mrbIsUpdateAvailable(MrbHandle handle, uint32_t* bytes);
/* Brings the target up to date; profile data (wildcard patterns) limits what is
 * installed. MRB_UPDATE_FAILED, MRB_UPDATE_CANCELED, or 0 when done. */
MRB_EXPORT int MRB_CALL mrbUpdate(MrbHandle handle, const char* profile, int32_t length);
/* Replaces the channel-relative name in the buffer by the path of its new version in the
 * holding area; 0 on success, nonzero (buffer unchanged) when there is none. */
MRB_EXPORT int MRB_CALL mrbLookupHoldingAreaFile(MrbHandle handle, char* buffer, int32_t size);
/* A property of the target's "properties.txt", or NULL. The text stays valid until the
 * next call on the session. */
MRB_EXPORT const char* MRB_CALL mrbGetProperty(MrbHandle handle, const char* name,
                                               int32_t reserved);
/* Removes a property from the target's "properties.txt"; 0 on success or when absent. */
MRB_EXPORT int MRB_CALL mrbRemoveProperty(MrbHandle handle, const char* name);
/* Removes what the holding area keeps that no update needs any more; 0 on success. */
MRB_EXPORT int MRB_CALL mrbClean(MrbHandle handle);
/* Ends the session and releases the handle; 0 on success. */
MRB_EXPORT int MRB_CALL mrbTermUpdate(MrbHandle handle);

/* Function-pointer types for dlsym/GetProcAddress. */
typedef MrbHandle(MRB_CALL* MrbInitUpdateFn)(const MrbInitRecord*);
typedef int(MRB_CALL* MrbAppendLogFn)(MrbHandle, int32_t, const char*, int32_t);
typedef int(MRB_CALL* MrbIsPrepareNeededFn)(MrbHandle);
typedef int(MRB_CALL* MrbPrepareExFn)(MrbHandle, int32_t, int32_t, int32_t);
typedef int(MRB_CALL* MrbVerifyExFn)(MrbHandle, int32_t);
typedef int(MRB_CALL* MrbIsUpdateAvailableFn)(MrbHandle, uint32_t*);
typedef int(MRB_CALL* MrbUpdateFn)(MrbHandle, const char*, int32_t);
typedef int(MRB_CALL* MrbLookupHoldingAreaFileFn)(MrbHandle, char*, int32_t);
typedef const char*(MRB_CALL* MrbGetPropertyFn)(MrbHandle, const char*, int32_t);
typedef int(MRB_CALL* MrbRemovePropertyFn)(MrbHandle, const char*);
typedef int(MRB_CALL* MrbCleanFn)(MrbHandle);
typedef int(MRB_CALL* MrbTermUpdateFn)(MrbHandle);

#ifdef __cplusplus
}
#endif

#endif /* CASTANET_H_ */
