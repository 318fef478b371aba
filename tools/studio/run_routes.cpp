#include "tools/studio/run_routes.h"

#include "preview/beam_trace.h"
#include "tools/calibration_gate.h"
#include "tools/report.h"
#include "tools/sequence_run.h"
#include "tools/studio/http_json.h"

#include <sequence_file/defined_sequence.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <sstream>

namespace fs = std::filesystem;

namespace tools::studio {
namespace {

constexpr auto kFollowInterval = std::chrono::milliseconds(200);
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// One answer of the timeline holds at most this many instants; the page asks again from "next".
constexpr size_t kMaxTimelineRecords = 20000;

// The library's progress function carries no context: the one upload in progress reports here.
// Uploads of several studios in one process take turns on kUploadSlot.
struct UploadProgress {
    std::atomic<int> sent{0}, total{0};
    const DeviceSession* session = nullptr;
    uint64_t stops = 0;
};
std::mutex kUploadSlot;
UploadProgress* currentUpload = nullptr;

bool ReportUpload(int sent, int total) {
    currentUpload->sent = sent;
    currentUpload->total = total;
    return currentUpload->session->StopCount() == currentUpload->stops;  // Stop cancels the upload
}

// The document a run or preview request names: its text and the folder its calibration paths
// are relative to.
sequence_file::SequenceFile ReadDocument(const Folder& folder, const nlohmann::json& body) {
    const std::string path = body.contains("path") && body["path"].is_string() ? body["path"].get<std::string>() : "";
    if (body.contains("document")) {
        if (!body["document"].is_object()) throw RequestError(400, "\"document\" must be a sequence document");
        const fs::path base = path.empty() ? folder.Root() : folder.Resolve(path).parent_path();
        return sequence_file::ParseSequenceText(body["document"].dump(), base.string());
    }
    if (path.empty()) throw RequestError(400, "give a \"document\" or the \"path\" of a sequence file");
    const fs::path resolved = folder.Resolve(path);
    std::error_code ec;
    if (!fs::is_regular_file(resolved, ec)) throw RequestError(404, "no sequence file " + path);
    sequence_file::SequenceFile file =
        sequence_file::ParseSequenceText(ReadWholeFile(resolved, path), resolved.parent_path().string());
    file.path = resolved.string();
    return file;
}

// "none", "input0".."input3" (or 0..3) as `korvan run --input` takes them.
InputPorts InputOf(const nlohmann::json& body) {
    if (!body.contains("input") || body["input"].is_null()) return NoInput;
    const nlohmann::json& v = body["input"];
    if (v.is_number_integer() && v.get<int>() >= 0 && v.get<int>() <= 3) return static_cast<InputPorts>(v.get<int>());
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        if (s == "none") return NoInput;
        if (s.size() == 6 && s.rfind("input", 0) == 0 && s[5] >= '0' && s[5] <= '3')
            return static_cast<InputPorts>(s[5] - '0');
    }
    throw RequestError(400, "\"input\" is \"none\" or \"input0\" to \"input3\"");
}

// "rising" (the input goes high) or "falling" (it goes low), or 1 / 2 as `korvan run --trigger`.
TriggerBehaviour TriggerOf(const nlohmann::json& body) {
    if (!body.contains("trigger") || body["trigger"].is_null()) return Trigger1;
    const nlohmann::json& v = body["trigger"];
    if (v == "rising" || v == 1) return Trigger1;
    if (v == "falling" || v == 2) return Trigger2;
    throw RequestError(400, "\"trigger\" is \"rising\" or \"falling\"");
}

unsigned int RunsOf(const nlohmann::json& body) {
    if (!body.contains("runs")) return 1;
    const nlohmann::json& v = body["runs"];
    if (!v.is_number_integer() || v.get<long long>() < 0 || v.get<long long>() > 65535)
        throw RequestError(400, "\"runs\" is a count from 0 (until stopped) to 65535");
    return v.get<unsigned int>();
}

nlohmann::json CameraPoint(Calibration* calibration, double x, double y) {
    if (!calibration) return nullptr;
    const RPOINTF c = calibration->CameraCoordinates(RPOINTF(x, y));
    return {c.x, c.y};
}

}  // namespace

// What the background thread takes over from the request.
struct RunStudio::Job {
    std::unique_ptr<sequence_file::DefinedSequence> defined;
    RunSettings settings;
    uint64_t stops = 0;
    double totalMs = 0;
    nlohmann::json state;  // state.run as last published
};

RunStudio::RunStudio(DeviceSession& session, const Folder& folder) : session_(session), folder_(folder) {}

RunStudio::~RunStudio() {
    closing_ = true;
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(mutex_);  // the run publishes its end under it
        worker = std::move(worker_);
    }
    if (worker.joinable()) worker.join();
}

void RunStudio::StartRun(const nlohmann::json& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (active_) throw RequestError(409, "a run is active: stop it first");
    auto job = std::make_unique<Job>();
    job->settings.input = InputOf(body);
    job->settings.trigger = TriggerOf(body);
    job->settings.runs = RunsOf(body);
    job->settings.quiet = true;
    job->settings.virtualDevice = session_.VirtualDevice();
    job->settings.autoInputs = session_.HasVirtualDevice();
    sequence_file::SequenceFile file = ReadDocument(folder_, body);  // a faulty document ends here
    // The gate of korvan run: a calibration that does not look sound aims nowhere near the targets.
    CheckCalibrations(file, body.value("allowUnsoundCalibration", false), nullptr,
                      "ask for \"allowUnsoundCalibration\": true");
    job->stops = session_.StopCount();
    session_.WithDevice([&](Korvan& korvan) {
        sequence_file::ApplyFileTiming(korvan, file);
        job->defined = std::make_unique<sequence_file::DefinedSequence>(korvan, std::move(file));
        if (const auto failure = job->defined->compiled.Failure()) {
            job->defined.reset();  // its lasers go while the device is ours
            throw *failure;
        }
    });
    sequence_file::CompiledSequence& compiled = job->defined->compiled;
    job->totalMs =
        static_cast<double>(compiled.endTick) * compiled.file.tickTime * std::max(1u, job->settings.runs) / 1000.0;
    lasers_ = compiled.PreviewLasers();
    camera_.reset();
    if (!compiled.file.lasers.empty() && !compiled.file.lasers[0].calibrationPath.empty() &&
        compiled.file.lasers[0].calibration)
        camera_ = std::make_unique<Calibration>(*compiled.file.lasers[0].calibration);
    if (worker_.joinable()) worker_.join();  // the last run's thread, finished
    active_ = true;
    job->state = {{"phase", "uploading"}, {"uploadedBytes", 0},      {"totalBytes", compiled.analysis.image.size()},
                  {"elapsedMs", 0},       {"totalMs", job->totalMs}, {"error", nullptr}};
    session_.SetPart("run", job->state);
    worker_ = std::thread([this, j = job.release()] { Follow(std::unique_ptr<Job>(j)); });
}

void RunStudio::Follow(std::unique_ptr<Job> job) {
    nlohmann::json& run = job->state;
    auto stopped = [&] { return closing_ || session_.StopCount() != job->stops; };
    try {
        std::optional<unsigned short> number;
        bool reported = false;  // the library told the upload's progress
        {
            std::lock_guard<std::mutex> slot(kUploadSlot);
            UploadProgress progress;
            progress.session = &session_;
            progress.stops = job->stops;
            currentUpload = &progress;
            // The upload is one turn on the device; this thread shows its progress meanwhile.
            auto upload = std::async(std::launch::async, [&] {
                return session_.WithDevice([&](Korvan& korvan) {
                    // The device holds the image now: the lasers defined for it go in the same
                    // turn, so that Stop can address their outputs to switch them off.
                    struct Release {
                        Job& job;
                        ~Release() { job.defined.reset(); }
                    } release{*job};
                    return UploadDefined(korvan, *job->defined, ReportUpload);
                });
            });
            while (upload.wait_for(kProgressInterval) != std::future_status::ready) {
                run["uploadedBytes"] = progress.sent.load();
                session_.SetPart("run", run);
            }
            currentUpload = nullptr;
            number = upload.get();
            reported = progress.total > 0;
            if (reported) {  // the library's own count of what went over the line
                run["uploadedBytes"] = progress.sent.load();
                run["totalBytes"] = progress.total.load();
            }
        }
        if (!number || stopped()) {
            run["phase"] = stopped() ? "stopped" : "failed";
            if (run["phase"] == "failed") run["error"] = "the upload was cancelled";
        } else {
            if (!reported) run["uploadedBytes"] = run["totalBytes"];  // too small to report
            if (sim::VirtualDevice* device = session_.VirtualDevice()) device->ClearTimeline();
            const bool started = session_.WithDevice([&](Korvan& korvan) {
                if (stopped()) return false;  // a Stop between the turns
                StartUploaded(korvan, *number, job->settings);
                return true;
            });
            const auto began = std::chrono::steady_clock::now();
            run["phase"] = started ? "running" : "stopped";
            auto elapsed = [&] {
                return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
            };
            while (started) {
                run["elapsedMs"] = elapsed();
                session_.SetPart("run", run);
                std::this_thread::sleep_for(kFollowInterval);
                run["elapsedMs"] = elapsed();  // the last state tells how long it went
                if (stopped()) {
                    run["phase"] = "stopped";  // StopAll stopped the device and darkened the lasers
                    break;
                }
                State state = NotConnected;
                const unsigned int r = session_.WithDevice([&](Korvan& korvan) { return korvan.GetState(&state); });
                if (r != 0) throw DeviceError(std::string("the device stopped answering: ") + KorvanResultText(r), r);
                if (!IsSequenceActive(state)) {
                    run["phase"] = "ended";
                    break;
                }
            }
        }
    } catch (const std::exception& e) {
        run["phase"] = "failed";
        run["error"] = e.what();
    }
    if (job->defined) {  // the upload never ran: its lasers go while the device is ours
        try {
            session_.WithDevice([&](Korvan&) { job->defined.reset(); });
        } catch (const std::exception&) {
            job->defined.reset();  // no connection: nobody else uses the Korvan object
        }
    }
    // Under the lock StartRun holds: once the end shows, the next run is taken, and its first
    // state is not overwritten by this one's last.
    std::lock_guard<std::mutex> lock(mutex_);
    session_.SetPart("run", run);
    active_ = false;
}

nlohmann::json RunStudio::Timeline(size_t since) {
    sim::VirtualDevice* device = session_.VirtualDevice();
    if (!device) throw RequestError(409, "the timeline is the virtual device's: there is none");
    const bool ended = !active_;  // read first: records arriving later are not left out
    const sim::image::Timeline timeline = device->ExecutedTimeline();
    const std::vector<sim::image::Record>& records = timeline.Records();
    std::lock_guard<std::mutex> lock(mutex_);
    preview::LaserLights lights(lasers_);
    double x = 0, y = 0;
    auto apply = [&](const sim::image::Record& r) {
        if (r.event == sim::image::Event::MirrorX) x = r.value;
        if (r.event == sim::image::Event::MirrorY) y = r.value;
        lights.Apply(r);
    };
    since = std::min(since, records.size());
    for (size_t i = 0; i < since; ++i) apply(records[i]);
    nlohmann::json out = nlohmann::json::array();
    size_t next = since;
    while (next < records.size() && out.size() < kMaxTimelineRecords) {
        const uint64_t t = records[next].timeUs;
        while (next < records.size() && records[next].timeUs == t) apply(records[next++]);  // one instant
        out.push_back({{"t", t},
                       {"x", x},
                       {"y", y},
                       {"camera", CameraPoint(camera_.get(), x, y)},
                       {"lit", lights.LitMask() != 0}});
    }
    bool litNow = lights.LitMask() != 0;
    for (size_t i = next; i < records.size(); ++i) {  // the rest, when the answer was cut short
        lights.Apply(records[i]);
        litNow = lights.LitMask() != 0;
    }
    return {{"records", out}, {"next", next}, {"ended", ended && next == records.size()}, {"litNow", litNow}};
}

void RunStudio::Route(httplib::Server& server) {
    server.Post("/api/run", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    StartRun(BodyObject(req));
                    SendJson(res, {{"started", true}}, 202);
                }));
    server.Get("/api/run/timeline", Guard([this](const httplib::Request& req, httplib::Response& res) {
                   size_t since = 0;
                   if (req.has_param("since")) {
                       const std::string k = req.get_param_value("since");
                       if (k.empty() || k.size() > 18 || k.find_first_not_of("0123456789") != std::string::npos)
                           throw RequestError(400, "\"since\" is a record number");
                       since = std::stoull(k);
                   }
                   SendJson(res, Timeline(since));
               }));
    server.Post("/api/sequence/preview", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    SendJson(res, PreviewSequence(folder_, req.get_param_value("path"), req.body));
                }));
}

}  // namespace tools::studio
