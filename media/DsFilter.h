#pragma once
// Everything the recorder, the file player and the sound-capture graph need to build their
// small media graphs: each filter the client uses, created and added to a graph under a fixed
// name (by class identifier, or from a device category by friendly name), pins, connecting
// and disconnecting, tearing graphs down, finding filters by name, saving a graph for
// inspection and writing a snapshot picture. No state; every call returns a result code.
//
// Filters and pins handed out carry a reference the caller gives back with Release.

#include "media/MediaTypes.h"

#include <QString>
#include <QStringList>

// Device categories.
extern const tagGuid CLSID_AudioCompressorCategory;
extern const tagGuid CLSID_AudioInputDeviceCategory;
extern const tagGuid CLSID_VideoInputDeviceCategory;
extern const tagGuid CLSID_VideoCompressorCategory;
extern const tagGuid CLSID_LegacyAmFilterCategory;

// Graphs.
IGraphBuilder* CreateGraph();
void Release(IGraphBuilder*& graph);
void Release(IBaseFilter*& filter);
void Release(IPin*& pin);
// The graph's media control: run, pause and stop. Results as the filters' calls.
HRESULT RunGraph(IGraphBuilder* graph);
HRESULT PauseGraph(IGraphBuilder* graph);
HRESULT StopGraph(IGraphBuilder* graph);
// The name a filter has in its graph.
QString FilterName(IBaseFilter* filter);
// The filters of a graph, in the order they were added.
int FilterCount(IGraphBuilder* graph);

class CDsFilter {
public:
    CDsFilter() = default;
    virtual ~CDsFilter() = default;

    // By class identifier.
    HRESULT CreateAudioRender(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateVideoRender(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateH263Encoder(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateH263Decoder(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateRtpDemux(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateRtpSph(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateRtpRph(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateRtpRender(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateRtpSource(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateSmartTee(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateDivxFastUnCompress(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateXvidUnCompress(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateZelSource(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateZelRender(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateAcmWrapper(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateCiscoVAD(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateAVIDec(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateZelFRate(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateZelInfTee(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateAVIMux(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateFileWriter(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateVidRender(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateSampleGrabber(IGraphBuilder* graph, IBaseFilter** filter);
    // Any of the above by its class identifier; REGDB_E_CLASSNOTREG for a class this system
    // has no filter for.
    HRESULT CreateByClassId(IGraphBuilder* graph, const tagGuid& clsid, IBaseFilter** filter);

    // From a device category by friendly name.
    HRESULT CreateMp3Compress(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateGsmCompress(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateTrueSpeechCompress(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateAudioCapture(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateVideoCapture(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateMpeg42Compress(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateMpeg42UnCompress(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateDivxFastCompress(IGraphBuilder* graph, IBaseFilter** filter);
    HRESULT CreateXvidCompress(IGraphBuilder* graph, IBaseFilter** filter);
    // The device lookup: with a list, every friendly name of the category is appended and
    // nothing is created; without, the first device of that name (the first device when the
    // name is empty) is created, returned with one reference and not yet in any graph.
    HRESULT FindDevice(const tagGuid& category, const QString& name, QStringList* list,
                       IBaseFilter** filter);

    HRESULT GetPin(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin, bool any);
    HRESULT ConnectFilters(IGraphBuilder* graph, IBaseFilter* upstream, IBaseFilter* downstream);
    HRESULT ConnectFiltersDirectly(IGraphBuilder* graph, IBaseFilter* upstream,
                                   IBaseFilter* downstream);
    HRESULT DisconnectFiltersOut(IGraphBuilder* graph, IBaseFilter* filter);
    HRESULT DisconnectFiltersIn(IGraphBuilder* graph, IBaseFilter* filter);
    HRESULT NukeDownstream(IGraphBuilder* graph, IBaseFilter* filter);
    HRESULT NukeUpstream(IGraphBuilder* graph, IBaseFilter* filter);
    HRESULT DisconnectAllFilterPin(IGraphBuilder* graph);
    HRESULT QueryFilters(IGraphBuilder* graph, const QString& name, IBaseFilter** filter, bool any);
    HRESULT ReleaseOtherFilter(IGraphBuilder* graph);
    // Writes the graph as a GStreamer dot file.
    HRESULT SaveGraphFile(IGraphBuilder* graph, const QString& path);
    // Writes the sample grabber's last picture as a 24-bit BMP file; 0 when it was written.
    static HRESULT CapturePicture(IBaseFilter* grabber, const QString& path);

    HRESULT ConfigRtpRender(IBaseFilter* filter, const QString& address, int port);
    HRESULT ConfigRtpSource(IBaseFilter* filter, const QString& address, int port);
    HRESULT ConfigRtpDemux(IBaseFilter* filter, int value);

    // The friendly name of the video input device to use; empty at start.
    static QString RememberedVideoDevice();
    static void SetRememberedVideoDevice(const QString& name);

private:
    HRESULT Connect(IGraphBuilder* graph, IBaseFilter* upstream, IBaseFilter* downstream,
                    bool convert);
};
