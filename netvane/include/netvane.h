/* netvane.dll: broadband (PPPoE) and VPN links through Windows RAS.
 *
 * Every function is exported with the C calling convention under its plain
 * name (ordinals 1 to 3, see netvane.def) and returns 0 on success, otherwise
 * the error code of the Windows or RAS call that failed, unchanged; the
 * library defines no codes of its own. Strings are NUL-terminated ANSI text,
 * read during the call only. Diagnostics go to the process's standard output
 * as it was when the library was loaded.
 *
 * Each call blocks the calling thread until RAS is done. The VPN connection
 * is process-wide state without a lock: do not call MorvendaVPNCon and
 * MorvendaVPNDiscon from different threads at the same time.
 */
#ifndef NETVANE_H_
#define NETVANE_H_

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the phonebook entry "MorvendaADSL" on the first PPPoE device, saves
 * the user name and password (up to 256 characters each) with it, and dials
 * it. The connection stays up after the call; nothing here hangs it up. */
int __cdecl MorvendaRasDial(const char* user_name, const char* password);

/* Writes the phonebook entry "MorvendaVPN" for the server (up to 128
 * characters), saves the user name and password (up to 256 characters each)
 * with it, dials it and reports the negotiated addresses. On 0 the
 * connection is held until MorvendaVPNDiscon. */
int __cdecl MorvendaVPNCon(const char* server, const char* user_name, const char* password);

/* Hangs up the connection of the last MorvendaVPNCon, waits up to 10 seconds
 * for RAS to let go of it, and forgets it. Returns the hang-up's result. */
int __cdecl MorvendaVPNDiscon(void);

#ifdef __cplusplus
}
#endif

#endif /* NETVANE_H_ */
