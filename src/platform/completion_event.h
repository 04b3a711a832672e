#ifndef TONALDA_PLATFORM_COMPLETION_EVENT_H
#define TONALDA_PLATFORM_COMPLETION_EVENT_H
/* The completion event of a pending request, as run-time modules see it: a C record whose
 * set() signals the waiting side. Modules call it from any thread; it never blocks for long. */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TonaldaCompletionEvent {
    void (*set)(struct TonaldaCompletionEvent* self);
} TonaldaCompletionEvent;

#ifdef __cplusplus
}
#endif

#endif
