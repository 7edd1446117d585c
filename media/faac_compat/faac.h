/* The libfaac encoder API, implemented over FFmpeg's native AAC encoder for systems without libfaac. Same
 * types, constants and semantics: faacEncOpen reports 1024 samples per channel per call, faacEncEncode
 * takes exactly that many (fewer only at the end; 0 drains), returns the bytes of one frame, 0 while the
 * encoder is still filling its delay, negative on error, and writes ADTS frames unless outputFormat is 0. */
#ifndef BV_FAAC_COMPAT_FAAC_H
#define BV_FAAC_COMPAT_FAAC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef FAACAPI
#define FAACAPI
#endif

#define FAAC_CFG_VERSION 104

/* MPEG ID's */
#define MPEG2 1
#define MPEG4 0

/* AAC object types */
#define MAIN 1
#define LOW 2
#define SSR 3
#define LTP 4

/* Input formats */
#define FAAC_INPUT_NULL 0
#define FAAC_INPUT_16BIT 1
#define FAAC_INPUT_24BIT 2
#define FAAC_INPUT_32BIT 3
#define FAAC_INPUT_FLOAT 4

#define SHORTCTL_NORMAL 0
#define SHORTCTL_NOSHORT 1
#define SHORTCTL_NOLONG 2

typedef struct {
    void* ptr;
    char* name;
} psymodellist_t;

typedef struct faacEncConfiguration {
    int version;
    char* name;
    char* copyright;
    unsigned int mpegVersion;
    unsigned int aacObjectType;
    unsigned int allowMidside;
    unsigned int useLfe;
    unsigned int useTns;
    unsigned long bitRate; /* per channel, bits per second; 0 selects quality-driven coding */
    unsigned int bandWidth;
    unsigned long quantqual;
    unsigned int outputFormat; /* 0 raw, 1 ADTS */
    psymodellist_t* psymodellist;
    unsigned int psymodelidx;
    unsigned int inputFormat;
    int shortctl;
    int channel_map[64];
} faacEncConfiguration, *faacEncConfigurationPtr;

typedef void* faacEncHandle;

int FAACAPI faacEncGetVersion(char** faac_id_string, char** faac_copyright_string);

faacEncConfigurationPtr FAACAPI faacEncGetCurrentConfiguration(faacEncHandle hEncoder);

int FAACAPI faacEncSetConfiguration(faacEncHandle hEncoder, faacEncConfigurationPtr config);

faacEncHandle FAACAPI faacEncOpen(unsigned long sampleRate, unsigned int numChannels, unsigned long* inputSamples,
                                  unsigned long* maxOutputBytes);

/* The buffer is allocated with malloc; the caller releases it with free. */
int FAACAPI faacEncGetDecoderSpecificInfo(faacEncHandle hEncoder, unsigned char** ppBuffer,
                                          unsigned long* pSizeOfDecoderSpecificInfo);

int FAACAPI faacEncEncode(faacEncHandle hEncoder, int32_t* inputBuffer, unsigned int samplesInput,
                          unsigned char* outputBuffer, unsigned int bufferSize);

int FAACAPI faacEncClose(faacEncHandle hEncoder);

#ifdef __cplusplus
}
#endif

#endif
