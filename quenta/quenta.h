#pragma once
// Public C interface of the controller link library "Quenta".
//
// Every call but the callback registration takes the port's settings record first. A port
// is "open" between a successful TarvoOpenConnectionPort / TarvoOpenConnection4FirmwareUpdate
// and TarvoCloseConnection; calls on a record that is not open fail (return 0) at once.
// No call blocks without bound: a request without an answer fails within 200 ms, and
// TarvoReadChar waits at most 1 ms when nothing is buffered.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TARVO_PORT_SETTINGS_SIZE 16576

// The per-port record. The program touches only the named fields; the rest belongs to the
// library (it keeps nothing there that outlives a close).
typedef struct TarvoPortSettings {
    uint8_t reserved0[4];
    char comPort[8];              // offset 4: port text, zero-terminated, at most 7 characters
    char controllerName[76];      // offset 12: controller name, zero-terminated (library writes)
    int32_t baudRate;             // offset 88
    uint8_t reserved92;
    uint8_t openResult;           // offset 93: result code of the last open attempt
    uint8_t generalInputsDisabled;  // offset 94: written by the program only
    uint8_t reserved95[TARVO_PORT_SETTINGS_SIZE - 95];
} TarvoPortSettings;

typedef void (*TarvoStatusCallback)(TarvoPortSettings* settings);

void InitCommPortSettings(TarvoPortSettings* s);
int TarvoOpenConnectionPort(TarvoPortSettings* s, int32_t reserved);
int TarvoOpenConnection4FirmwareUpdate(TarvoPortSettings* s);
int TarvoCloseTransfer(TarvoPortSettings* s);
int TarvoCloseConnection(TarvoPortSettings* s);
void SetStatusNotificationCallback(TarvoStatusCallback callback);

int GetStatus_Schritte(TarvoPortSettings* s, uint8_t* firstValue, uint8_t* inputs, uint8_t* flags,
                       int32_t* posX, int32_t* posY, int32_t* posZ, int32_t* posC,
                       uint8_t* bufferFill, uint8_t* generalInputs, uint8_t* generalOutputs,
                       uint8_t* errorCode);

int FehlerQuitieren(TarvoPortSettings* s);
int NotHalt_mitBremsrampe(TarvoPortSettings* s);
int NotStop_ohneBremsrampe(TarvoPortSettings* s);
int ParkPositionAnfahren(TarvoPortSettings* s);

int FahreRelativ_XY_Schritte(TarvoPortSettings* s, int32_t speed, uint8_t one, int32_t* first,
                             int32_t* second, uint8_t three);
int FahreRelativ_ZC_Schritte(TarvoPortSettings* s, int32_t speed, uint8_t one, int32_t* first,
                             int32_t* second, uint8_t three);
int FahreRelativ_XY_mm(TarvoPortSettings* s, float speed, uint8_t one, float* first,
                       float* second, uint8_t three);
int FahreRelativ_ZC_mm(TarvoPortSettings* s, float speed, uint8_t one, float* first,
                       float* second, uint8_t three);
int HaltePosition(TarvoPortSettings* s, int32_t milliseconds);
int Referenzfahrt(TarvoPortSettings* s, int32_t a, int32_t b);
int NullPunktSetzen_Schritte(TarvoPortSettings* s, int32_t x, int32_t y, int32_t z, int32_t c);
int NullPunktSetzen_mm(TarvoPortSettings* s, float x, float y, float z, float c);
int SpindelKuhlungSetzen(TarvoPortSettings* s, uint8_t spindle, uint8_t coolant);
int AllgemeineAusgaeneSetzen(TarvoPortSettings* s, uint8_t outputs);
int BetriebsArtenWechsel(TarvoPortSettings* s, uint8_t mode);
int LoadRAMprogramm(TarvoPortSettings* s, uint8_t ramNumber);
int StartRAMprogramm(TarvoPortSettings* s, uint8_t ramNumber, uint8_t count);

// Reads one parameter into result (at most 16 bytes are written).
int ParameterLesen(TarvoPortSettings* s, uint8_t group, uint8_t index, void* result);
int ParameterAendern_long(TarvoPortSettings* s, uint8_t group, uint8_t index, int32_t value);
int ParameterAendern_float(TarvoPortSettings* s, uint8_t group, uint8_t index, float value);
int ParameterAendern_4_longs(TarvoPortSettings* s, uint8_t group, uint8_t index, int32_t x,
                             int32_t y, int32_t z, int32_t c);
int ParameterAendern_4_uchar(TarvoPortSettings* s, uint8_t group, uint8_t index, uint32_t x,
                             uint32_t y, uint32_t z, uint32_t c);
int ParameterAendern_Richtung_Sequenz_ReferenzFahrt(TarvoPortSettings* s, uint8_t group,
                                                    uint8_t index, uint32_t dir0, uint32_t dir1,
                                                    uint32_t dir2, uint32_t dir3, uint32_t order0,
                                                    uint32_t order1, uint32_t order2,
                                                    uint32_t order3);
// name points to a 32-byte buffer holding a zero-terminated Latin-1 name.
int ParameterAendern_ControllerName(TarvoPortSettings* s, uint8_t group, uint8_t index,
                                    const char* name);

// Raw byte access, used in firmware-update mode.
int TarvoWriteChar(TarvoPortSettings* s, const uint8_t* bytes, int32_t length);
int TarvoReadChar(TarvoPortSettings* s, uint8_t* bytes, int32_t length);

// G-code jobs (beside the calls above). A job runs from the library's own threads; the caller
// starts, pauses, resumes and stops it and reads its progress.
enum TarvoJobState {
    TarvoJobIdle = 0,
    TarvoJobRunning = 1,
    TarvoJobPaused = 2,
    TarvoJobToolChange = 3,  // waiting for the tool in `tool`; resume goes on
    TarvoJobErrorPause = 4,  // the controller refused line `failedLine`: resume skips it
    TarvoJobStopped = 5,
    TarvoJobCompleted = 6,
    TarvoJobFailed = 7,
};
typedef struct TarvoJobProgress {
    int32_t state;
    uint32_t linesTotal;
    uint32_t linesSent;
    uint32_t linesAcknowledged;
    uint32_t lineExecuting;  // 1-based line of the file, 0 when not known
    uint32_t failedLine;
    int32_t tool;
    char reason[160];  // why it failed, stopped or pauses; UTF-8, zero-terminated
} TarvoJobProgress;

// Reads a G-code file (UTF-8 path), checks it against the controller on the port and starts
// it from fromLine (1-based; 0 or 1 = the start), pausing at tool changes unless
// pauseOnToolChange is 0. 0 when it does not start: the progress then says why.
int TarvoJobStart(TarvoPortSettings* s, const char* path, uint32_t fromLine,
                  int32_t pauseOnToolChange);
int TarvoJobPause(TarvoPortSettings* s);
int TarvoJobResume(TarvoPortSettings* s);
int TarvoJobStop(TarvoPortSettings* s);
// GRBL's realtime override bytes 0x90 ... 0x9D, 0xA0, 0xA1 (feed +-10 %, +-1 %, 100 %, ...).
int TarvoJobOverride(TarvoPortSettings* s, uint8_t command);
int TarvoJobGetProgress(TarvoPortSettings* s, TarvoJobProgress* progress);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(TarvoPortSettings) == TARVO_PORT_SETTINGS_SIZE, "record size");
static_assert(offsetof(TarvoPortSettings, comPort) == 4, "port offset");
static_assert(offsetof(TarvoPortSettings, controllerName) == 12, "name offset");
static_assert(offsetof(TarvoPortSettings, baudRate) == 88, "baud offset");
static_assert(offsetof(TarvoPortSettings, openResult) == 93, "open result offset");
static_assert(offsetof(TarvoPortSettings, generalInputsDisabled) == 94, "inputs flag offset");
#endif
