#include "driver/lc1_driver.h"

#include <cstdio>
#include <cstring>

#include "driver/debug_output.h"
#include "lamdex/host_helpers.h"
#include "lamdex/version.h"

namespace lamdex {
namespace {

constexpr char kComponentId[] = "A41F6C2D-8E57-4b3a-9D06-C7B2E81F5A94";
constexpr char kComponentName[] = "LC1 IO Driver";
constexpr char kComponentDescription[] = "A simple, limited LC1 driver that supports a single LC1";
// The project version, as in the version resource and the release zips.
constexpr char kVersionText[] = LAMDEX_VERSION_TEXT;
constexpr char kDeviceName[] = "Lamdex reader";

// Open answers S_OK whatever happens and Read then says only not ready, so these texts are
// where a user learns that the port is wrong, held by another program or unplugged:
// "LC1Driver::Open COM5 failed: error 2 (...)", "LC1Driver::Read COM5 lost: error 22 (...)".
// A note says why the port is tried less often than usual.
void ReportPortError(const char* operation, int portNumber, const char* what, std::uint32_t error, const char* note) {
    char reason[200];
    DescribePlatformError(error, reason, sizeof reason);
    char text[200 + sizeof reason];
    (void)std::snprintf(text, sizeof text, "LC1Driver::%s COM%d %s: error %lu (%s)%s", operation, portNumber, what,
                        static_cast<unsigned long>(error), reason, note);
    WriteDebugText(text);
}

double Seconds(std::uint64_t ms) {
    return static_cast<double>(ms) / 1000.0;
}

void ReportOpenFailed(int portNumber, const LineKeeper& keeper) {
    char note[100] = "";
    if (keeper.LastOpenMs() >= LineKeeper::kSlowOpenMs) {
        (void)std::snprintf(note, sizeof note, "; opening took %.1f s, so the next try waits %.1f s",
                            Seconds(keeper.LastOpenMs()), Seconds(keeper.PauseMs()));
    }
    ReportPortError("Open", portNumber, "failed", keeper.Error(), note);
}

void ReportLineLost(int portNumber, const LineKeeper& keeper) {
    const char* note = keeper.FailedOpenings() > 0
                           ? "; it failed before it had worked for a second, so it is tried at growing intervals"
                           : "";
    ReportPortError("Read", portNumber, "lost", keeper.Error(), note);
}

// One text for the whole outage, however often the port opened and failed within it.
void ReportLineBack(int portNumber, const LineKeeper& keeper) {
    char failed[64] = "";
    if (keeper.FailedOpenings() > 0) {
        (void)std::snprintf(failed, sizeof failed, "; it failed before it had worked for a second %lu times",
                            static_cast<unsigned long>(keeper.FailedOpenings()));
    }
    char slow[48] = "";
    if (keeper.LongestOpenMs() >= LineKeeper::kSlowOpenMs) {
        (void)std::snprintf(slow, sizeof slow, "; opening took up to %.1f s", Seconds(keeper.LongestOpenMs()));
    }
    char text[80 + sizeof failed + sizeof slow];
    (void)std::snprintf(text, sizeof text, "LC1Driver::Read COM%d back after %.1f s%s%s", portNumber,
                        Seconds(keeper.OutageMs()), failed, slow);
    WriteDebugText(text);
}

// The sensor the file names at the moment of saving: lamdex-check --save may have changed it
// while the host ran, and a port chosen in the dialog must not undo that. The one loaded at
// start when the file cannot be read.
int SensorInFile(const char* path, int loadedSensor) {
    int port = 1;
    int sensor = kDefaultSensor;
    char error[kLastErrorTextSize] = "";
    LoadConfig(path, port, sensor, error);
    return error[0] == '\0' ? sensor : loadedSensor;
}

}  // namespace

LC1Driver::LC1Driver() : reader_(ByteSource{&SerialLink::ReadByteFrom, &link_}) {
    BuildConfigPath(configPath_);
    LoadConfig(configPath_, portNumber_, sensor_, lastErrorText_);
    reader_.ChooseSensor(sensor_);
}

LC1Driver::~LC1Driver() {
    Held held(lock_);
    link_.Close();
}

// Both objects of the library have static storage: nothing is ever freed here.
// The host asking for destruction gets what destruction means to it, a closed port.
void* LC1Driver::DeletingDestructor(unsigned int /*flags*/) {
    Close();
    return this;
}

std::int32_t LC1Driver::GetComponentType() {
    return zb::kDataAcqIoComponentType;
}

std::int32_t LC1Driver::GetComponentInfo(zb::ComponentInfo* info) {
    if (info == nullptr) {
        return 0;
    }
    info->size = zb::kComponentInfoSize;
    zb::ParseGuid(kComponentId, info->id);
    zb::CopyText(info->name, kComponentName);
    zb::CopyText(info->description, kComponentDescription);
    zb::CopyText(info->version, kVersionText);
    info->value600 = 1;
    info->value604 = 1;
    info->value606 = 0;
    return 1;
}

zb::HResult LC1Driver::ShowConfiguration(zb::ConfigDialogParams* params) {
    if (params == nullptr) {
        return zb::kOk;
    }
    if (params->size != zb::kConfigDialogParamsSize) {
        return zb::kInvalidArg;
    }
    if (configurationDialog_ != nullptr) {
        configurationDialog_->Open(params->ownerWindow);
    }
    return zb::kOk;
}

zb::HResult LC1Driver::SetOption(std::int32_t /*id*/, std::int32_t /*value*/, std::int32_t /*extra*/) {
    return zb::kOk;
}

const char* LC1Driver::GetLastErrorInfo(std::int32_t* code) {
    if (code != nullptr) {
        *code = lastErrorCode_;
    }
    return lastErrorText_;
}

zb::HResult LC1Driver::GetDeviceDescription(zb::DeviceDescription* desc) {
    if (desc == nullptr || desc->size != zb::kDeviceDescriptionSize) {
        return zb::kInvalidArg;
    }
    zb::CopyText(desc->name, kDeviceName);
    desc->furtherText1[0] = '\0';
    desc->furtherText2[0] = '\0';
    return zb::kOk;
}

zb::HResult LC1Driver::Open(zb::OpenParams* params) {
    if (params == nullptr || params->size != zb::kOpenParamsSize) {
        return zb::kInvalidArg;
    }
    Held held(lock_);
    OpenLink();
    return zb::kOk;
}

zb::HResult LC1Driver::Close() {
    Held held(lock_);
    CloseLink();
    return zb::kOk;
}

void LC1Driver::OpenLink() {
    isOpen_ = true;
    reader_.ResetForOpen();
    stateReport_.Forget();
    Report(keeper_.Open(portNumber_));
}

void LC1Driver::CloseLink() {
    keeper_.Close();
    reader_.ResetForClose();
    isOpen_ = false;
}

void LC1Driver::ReportChange(LineKeeper::Change change) {
    switch (change) {
        case LineKeeper::Change::kNone:
        case LineKeeper::Change::kReopened:
            break;
        case LineKeeper::Change::kOpenFailed:
            ReportOpenFailed(portNumber_, keeper_);
            break;
        case LineKeeper::Change::kLost:
            ReportLineLost(portNumber_, keeper_);
            break;
        case LineKeeper::Change::kBack:
            ReportLineBack(portNumber_, keeper_);
            break;
    }
}

zb::HResult LC1Driver::Write(zb::TransferRecord* rec) {
    if (rec == nullptr || rec->size != zb::kTransferRecordSize) {
        return zb::kInvalidArg;
    }
    if (rec->bytesTransferred != nullptr) {
        *rec->bytesTransferred = 0;
    }
    return zb::kOk;
}

zb::HResult LC1Driver::Read(zb::TransferRecord* rec) {
    if (!PacketReader::Accepts(rec)) {
        return zb::kInvalidArg;
    }
    HeldIfFree held(lock_);
    if (!held) {
        return PacketReader::AnswerNotReady(rec);
    }
    Report(keeper_.Reopen());
    const zb::HResult answer = reader_.Read(rec);
    stateReport_.Observe(portNumber_, reader_.Sensor(), reader_.AnsweredPlace());
    const LineKeeper::Change change = keeper_.Check();
    if (LineKeeper::CutsTheLine(change)) {
        reader_.DropPartialPacket();
    }
    Report(change);
    return answer;
}

zb::HResult LC1Driver::SetSettings(zb::IoSettings* settings) {
    if (settings == nullptr || settings->size != zb::kIoSettingsSize) {
        return zb::kInvalidArg;
    }
    std::memcpy(&settings_, settings, sizeof settings_);
    return zb::kOk;
}

zb::HResult LC1Driver::GetSettings(zb::IoSettings* settings) {
    if (settings == nullptr || settings->size != zb::kIoSettingsSize) {
        return zb::kInvalidArg;
    }
    std::memcpy(settings, &settings_, sizeof settings_);
    return zb::kOk;
}

zb::HResult LC1Driver::PurgeTransmitBuffer() {
    WriteDebugText("LC1Driver::PurgeTransmitBuffer called");
    return zb::kOk;
}

// Deliberately keeps the receive buffer: a packet split across a purge is still delivered.
zb::HResult LC1Driver::PurgeReceiveBuffer() {
    WriteDebugText("LC1Driver::PurgeReceiveBuffer called");
    return zb::kOk;
}

void LC1Driver::ChangePort(int newPort) {
    if (!IsPortNumber(newPort)) {
        return;
    }
    // A Read on another thread meanwhile answers not ready, then reads the new port: it
    // never meets the change half done.
    Held held(lock_);
    if (newPort == portNumber_) {
        return;
    }
    const bool wasOpen = isOpen_;
    if (wasOpen) {
        CloseLink();
    }
    portNumber_ = newPort;
    SaveConfig(configPath_, portNumber_, SensorInFile(configPath_, sensor_), lastErrorText_);
    if (wasOpen) {
        OpenLink();
    }
}

}  // namespace lamdex
