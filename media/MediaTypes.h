#pragma once
// What the media graphs are made of, as their users see them: a graph, filters and pins
// (GStreamer pipelines, elements and pads underneath, kept opaque here so that users need no
// GStreamer headers), class identifiers, and the graph framework's signed result codes.

#include <QString>

#include <cstdint>

struct _GstElement;
struct _GstPad;
struct _GstPipeline;

using IGraphBuilder = _GstPipeline;
using IBaseFilter = _GstElement;
using IPin = _GstPad;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

// The framework's result codes: negative on failure.
using HRESULT = int32_t;
enum : HRESULT {
    S_OK = 0,
    S_FALSE = 1,
    E_FAIL = static_cast<HRESULT>(0x80004005),
    E_POINTER = static_cast<HRESULT>(0x80004003),
    E_NOINTERFACE = static_cast<HRESULT>(0x80004002),
    E_INVALIDARG = static_cast<HRESULT>(0x80070057),
    E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E),
    REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154),
    VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209),
    VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217),
    VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216),
    VFW_E_CANNOT_RENDER = static_cast<HRESULT>(0x80040218),
    VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022A),
    STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005),
};

inline bool FAILED(HRESULT hr) {
    return hr < 0;
}
inline bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}

// A class or command identifier, {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}.
struct tagGuid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    // Reads the braced text form; an all-zero identifier when the text is not one.
    static tagGuid FromString(const char* text);
    QString ToString() const;
    bool operator==(const tagGuid&) const = default;
};
