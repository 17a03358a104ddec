/*
 * Linvaro test hook: emulated modem lines.
 *
 * Pseudo-terminals, on which tests publish their simulated devices, have no
 * modem lines. A test that needs them (a device driven through RTS and DTR
 * that answers on DSR or CTS) attaches a line device to an open serial link:
 * from then on LVRM_SetRTS, LVRM_SetDTR, LVRM_GetCTS and LVRM_GetDSR on that
 * link call the hooks instead of the port's modem-control requests. Frames
 * still travel through the port as usual.
 *
 * Not for production use; programs never attach anything, and a link without
 * hooks behaves exactly as described in linvaro.h.
 */
#ifndef LINVARO_TESTING_H
#define LINVARO_TESTING_H

#include "linvaro.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The line device. The setters receive on = 0 or 1 (the states that
 * LVRM_SetRTS/LVRM_SetDTR apply; the others are refused before any hook is
 * called) and return 1 when applied; the getters return 1 when the signal is
 * on. A NULL function stands for a line that is not there: setters then give
 * 0, getters 0. Every hook runs synchronously on the thread that made the
 * modem-line call, with the context pointer given here.
 */
typedef struct LVRM_ModemLinesHooks {
    void* context;
    int32_t (*setRTS)(void* context, int32_t on);
    int32_t (*setDTR)(void* context, int32_t on);
    int32_t (*getCTS)(void* context);
    int32_t (*getDSR)(void* context);
} LVRM_ModemLinesHooks;

/*
 * Attaches a copy of *hooks to the open serial link handle, replacing any
 * earlier one; hooks NULL detaches, giving the link its port's modem lines
 * back. Closing the link detaches too. The context must stay valid while
 * attached. Attach and detach from the thread that drives the lines, never
 * during one of its modem-line calls. 1 when done; 0 for an invalid handle or
 * a TCP link.
 */
LVRM_API int32_t LVRM_TestAttachModemLines(int32_t handle, const LVRM_ModemLinesHooks* hooks);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* LINVARO_TESTING_H */
