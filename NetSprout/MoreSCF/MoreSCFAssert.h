/*
 * The contract check of NetSprout. MoreSCFAssert(condition) states an obligation of a caller (a
 * required argument is present, an out slot is empty on entry) or a result a function promises.
 * A broken contract is a programming error: in Debug builds and in test programs it stops the
 * process with a message on standard error; in Release builds it writes one line to the system
 * log and the program carries on.
 *
 * Nothing that comes from outside the process (a stored file, a registry entry) may ever reach
 * an assertion: such failures are statuses.
 */
#ifndef MORESCF_ASSERT_H
#define MORESCF_ASSERT_H

#ifdef __cplusplus
extern "C" {
#endif

void MoreSCFAssertFailed(const char *condition, const char *file, int line, const char *function);

/* Makes broken contracts fatal (true) or logged (false) in this process. Debug builds start fatal,
 * other builds logged; test programs switch it on at start-up. */
void MoreSCFAssertSetFatal(int fatal);
int MoreSCFAssertIsFatal(void);

#ifdef __cplusplus
}
#endif

#define MoreSCFAssert(condition) \
    ((condition) ? (void) 0 : MoreSCFAssertFailed(#condition, __FILE__, __LINE__, __func__))

/* Contract checks every source file of the model uses (C++ only: they return from the caller). */

/* A required argument: asserted, and refused with paramErr (-50) when the check only logs. */
#define MORESCF_REQUIRE(condition)         \
    do {                                   \
        MoreSCFAssert(condition);          \
        if (!(condition)) {                \
            return -50;                    \
        }                                  \
    } while (0)

/* The same for functions without a status. */
#define MORESCF_REQUIRE_VOID(condition)    \
    do {                                   \
        MoreSCFAssert(condition);          \
        if (!(condition)) {                \
            return;                        \
        }                                  \
    } while (0)

/* An out slot: supplied, and holding nothing on entry. */
#define MORESCF_REQUIRE_SLOT(slot)             \
    do {                                       \
        MORESCF_REQUIRE((slot) != nullptr);    \
        MoreSCFAssert(*(slot) == nullptr);     \
    } while (0)

#endif /* MORESCF_ASSERT_H */
