/* The C interface of TEV's clock link libraries: the TCP/IP link library
 * (libtevtcp32.so, libtevtcp95.so) and the serial polling library
 * (libtevpol32.so). Used by the libraries, their tests and the program. */
#ifndef TEVLINK_H
#define TEVLINK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TEVLINK_BUILDING)
#define TEVLINK_API __attribute__((visibility("default")))
#else
#define TEVLINK_API
#endif

/* A port or link handle; -1 is the invalid handle. */
#define TEVLINK_INVALID_HANDLE ((intptr_t)-1)

/* Names the program writes into the hosts file and the TCP/IP library looks
 * up: the PC is HostAlias, clock n is TerminalAliasPrefix followed by n in
 * three digits ("tevterm007"). */
static const char HostAliasStem[] = "tevhost";
static const char HostAlias[] = "tevhost001";
static const char TerminalAliasPrefix[] = "tevterm";

/* One entry of the TCP/IP library's clock table. */
struct cl_list {
    int ClSocket;          /* -1 marks a free entry */
    uint32_t ClIpAddress;  /* network byte order; kept when the entry is freed */
    char ClNameStr[20];    /* host name from the reverse look-up */
#if defined(TEVLINK_CL_LIST_ONLINE)
    int online;            /* present in libtevtcp32.so only; never used */
#endif
};

/* Exported by both libraries. */
TEVLINK_API uint32_t InitComPort(intptr_t *lphdcomport, uint32_t comport, uint32_t baudrate,
                                 char parity, char bytesize, char stopbits);
TEVLINK_API uint32_t PollTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock,
                                   const char *file, char *buffer);
TEVLINK_API uint32_t SetTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock);
TEVLINK_API uint32_t SendMsgTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock,
                                      const char *msg);
TEVLINK_API uint32_t SendAckTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock);
TEVLINK_API uint32_t SendNakTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock);
TEVLINK_API uint32_t DownloadTimeClock(intptr_t hdcomport, int32_t controller, int32_t clock,
                                       const char *file);

/* TCP/IP link library only. */
TEVLINK_API uint32_t AckRequired(intptr_t hdcomport, int32_t controller, int32_t clock,
                                 int32_t TEV_en);
TEVLINK_API uint32_t UnKnownIP(char *BadAddr);
TEVLINK_API uint32_t CloseCom(void);
TEVLINK_API struct cl_list *GetClientList(const char *HostNamePtr);
TEVLINK_API void ltoafixed(uint32_t val, char *ptr, int32_t radix, int32_t digits);

/* Serial polling library only. */
TEVLINK_API uint32_t CloseComm(intptr_t hdcomport);

#ifdef __cplusplus
}
#endif

#endif /* TEVLINK_H */
