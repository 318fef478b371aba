#include "tools/studio/camera_routes.h"

#include "tools/report.h"
#include "tools/sequence_run.h"
#include "tools/studio/camera_frame.h"
#include "tools/studio/http_json.h"
#include "tools/studio/image_files.h"

#include <korvan/calibration/calibration_quality.h>
#include <korvan/device/laser_settings.h>
#include <sequence_file/defined_sequence.h>
#include <sequence_file/sequence_file.h>
#include <sim/virtual_camera.h>

#include <chrono>
#include <cmath>

namespace fs = std::filesystem;

namespace tools::studio {
namespace {

constexpr double kGridFirst = 4000, kGridLast = 61535;  // the calibration grid, device units
constexpr unsigned int kTickMicroseconds = 50;          // a shot's tick time

constexpr double kFrameBlack = 600;  // below the virtual sensor's dark level

korvan::CameraRegion FullSensor() {
    korvan::CameraRegion r;
    r.width = kSensorWidth;
    r.height = kSensorHeight;
    return r;
}

nlohmann::json RegionJson(const korvan::CameraRegion& r) {
    return {{"left", r.left}, {"top", r.top}, {"width", r.width}, {"height", r.height}, {"binning", r.binning}};
}

nlohmann::json PointJson(double x, double y) { return nlohmann::json::array({x, y}); }

/// A member that must be a number; RequestError 400 naming it otherwise.
double Number(const nlohmann::json& body, const char* key) {
    const auto it = body.find(key);
    if (it == body.end() || !it->is_number() || !std::isfinite(it->get<double>()))
        throw RequestError(400, std::string("\"") + key + "\" must be a number");
    return it->get<double>();
}

/// A whole number in min..max; `fallback` when the member is absent.
long WholeNumber(const nlohmann::json& body, const char* key, long min, long max, std::optional<long> fallback = {}) {
    if (!body.contains(key) && fallback) return *fallback;
    const double v = Number(body, key);
    if (v != std::floor(v) || v < min || v > max)
        throw RequestError(400, std::string("\"") + key + "\" must be a whole number from " + std::to_string(min) +
                                    " to " + std::to_string(max));
    return static_cast<long>(v);
}

/// "laser1".."laser4" -> 1..4; `fallback` when absent.
int LaserPort(const nlohmann::json& body) {
    const std::string port = body.value("port", std::string("laser1"));
    if (port.size() == 6 && port.compare(0, 5, "laser") == 0 && port[5] >= '1' && port[5] <= '4') return port[5] - '0';
    throw RequestError(400, "\"port\" must be laser1, laser2, laser3 or laser4");
}

korvan::CameraRegion RegionFrom(const nlohmann::json& body) {
    const auto it = body.find("region");
    if (it == body.end() || !it->is_object()) throw RequestError(400, "give the camera's \"region\" as an object");
    korvan::CameraRegion r;
    r.left = static_cast<int>(WholeNumber(*it, "left", 0, kSensorWidth - 1, 0));
    r.top = static_cast<int>(WholeNumber(*it, "top", 0, kSensorHeight - 1, 0));
    r.width = static_cast<int>(WholeNumber(*it, "width", 0, kSensorWidth, 0));
    r.height = static_cast<int>(WholeNumber(*it, "height", 0, kSensorHeight, 0));
    r.binning = static_cast<int>(WholeNumber(*it, "binning", 1, 16, 1));
    if (!OnSensor(r)) throw RequestError(400, "the region does not lie on the 1280 x 1024 sensor");
    return Sized(r);
}

unsigned int GridSize(unsigned int points) {
    const auto n = static_cast<unsigned int>(std::lround(std::sqrt(static_cast<double>(points))));
    return n * n == points ? n : 0;
}

/// Device position of point `index` of a run of `points` points: a square grid over most of the
/// mirrors' range, row by row, or three corners.
RPOINTF GridPoint(unsigned int points, unsigned int index) {
    if (points == 3) {
        const RPOINTF corners[] = {{kGridFirst, kGridFirst}, {kGridLast, kGridFirst}, {kGridFirst, kGridLast}};
        return corners[index];
    }
    const unsigned int n = GridSize(points);
    const double spacing = std::floor((kGridLast - kGridFirst) / (n - 1));
    return RPOINTF(kGridFirst + (index % n) * spacing, kGridFirst + (index / n) * spacing);
}

/// Relative path check for bodies: a non-empty string "path".
std::string PathOf(const nlohmann::json& body) {
    const auto it = body.find("path");
    if (it == body.end() || !it->is_string() || it->get<std::string>().empty())
        throw RequestError(400, "name the file: \"path\"");
    return it->get<std::string>();
}

}  // namespace

CameraStudio::CameraStudio(DeviceSession& session, const Folder& folder)
    : session_(session), folder_(folder), region_(FullSensor()), tableRegion_(FullSensor()) {}

CameraStudio::~CameraStudio() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    clicked_.notify_all();
    if (runner_.joinable()) runner_.join();
}

sim::VirtualCamera* CameraStudio::Camera() {
    sim::VirtualDevice* device = session_.VirtualDevice();
    if (device == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(cameraMutex_);
    if (!camera_) camera_ = std::make_unique<sim::VirtualCamera>(*device);
    return camera_.get();
}

nlohmann::json CameraStudio::CameraJson() {
    std::lock_guard<std::mutex> lock(mutex_);
    nlohmann::json out = {{"virtual", session_.HasVirtualDevice()},
                          {"sensor", {kSensorWidth, kSensorHeight}},
                          {"region", RegionJson(region_)},
                          {"calibrationRegion", table_ ? RegionJson(tableRegion_) : nlohmann::json()}};
    // Image pixels -> table pixels is a scale and a shift: derive both from the conversion itself.
    double scale = 1, ox = 0, oy = 0;
    if (table_) {
        const RPOINTF origin = korvan::ConvertCameraPoint(region_, tableRegion_, RPOINTF(0.0, 0.0));
        const RPOINTF one = korvan::ConvertCameraPoint(region_, tableRegion_, RPOINTF(1.0, 0.0));
        scale = one.x - origin.x, ox = origin.x, oy = origin.y;
    }
    out["toCalibration"] = {{"scale", scale}, {"offset", {ox, oy}}};
    return out;
}

void CameraStudio::PutCamera(const nlohmann::json& body) {
    const korvan::CameraRegion region = RegionFrom(body);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_) throw RequestError(409, "the region cannot change during a calibration run");
        region_ = region;
    }
    session_.SetPart("camera", CameraJson());
}

std::string CameraStudio::FramePngNow() {
    sim::VirtualCamera* camera = Camera();
    if (camera == nullptr) throw RequestError(409, "there is no virtual camera (start the studio with --virtual)");
    korvan::CameraRegion region;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        region = region_;
    }
    SpotLight light;
    {
        std::lock_guard<std::mutex> lock(cameraMutex_);
        light = LookAtSpot(*camera, *session_.VirtualDevice());
    }
    const GrayFrame frame = RenderFrame(region, light);
    // Black just below the sensor's dark level, white at the brightest pixel: a dim spot still
    // shows, a dark frame stays dark.
    double brightest = 0;
    for (auto v : frame.pixels) brightest = std::max<double>(brightest, v);
    return FramePng(frame, kFrameBlack, std::max(brightest, 4000.0));
}

void CameraStudio::PublishRun() {
    nlohmann::json part;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        part = run_;
    }
    session_.SetPart("calibration", part);
}

void CameraStudio::StartCalibration(const nlohmann::json& body) {
    RunRequest request;
    request.points = static_cast<unsigned int>(WholeNumber(body, "points", 3, 100, 16));
    if (request.points != 3 && GridSize(request.points) < 2)
        throw RequestError(400, "\"points\" must be 3 or a square: 4, 9, 16 ... 100");
    request.port = LaserPort(body);
    request.intensity = static_cast<unsigned int>(WholeNumber(body, "intensity", 0, 10000, 2000));
    request.manual = body.value("manual", false) || !session_.HasVirtualDevice();
    session_.WithDevice([](Korvan&) {});  // 409 when nothing is connected
    korvan::CameraRegion region;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_) throw RequestError(409, "a calibration run is going on");
        if (runner_.joinable()) runner_.join();
        running_ = true;
        waitingClick_ = false;
        click_.reset();
        region = region_;
        run_ = {{"phase", "running"}, {"index", 0},       {"count", request.points},
                {"device", nullptr},  {"error", nullptr}, {"region", RegionJson(region)}};
    }
    PublishRun();
    runner_ =
        std::thread([this, request, region, stops = session_.StopCount()] { RunCalibration(request, region, stops); });
}

void CameraStudio::RunCalibration(RunRequest request, korvan::CameraRegion region, uint64_t stops) {
    unsigned int laser = 0;
    bool defined = false;
    Calibration table(request.points);
    // Ends the run with the laser off and the calibration laser gone, in any case.
    const auto finish = [&](const std::string& phase, const std::string& error) {
        try {
            session_.WithDevice([&](Korvan& korvan) {
                if (phase != "done") korvan.Stop();
                if (defined) korvan.RemoveLaser(laser);
            });
        } catch (const std::exception&) {
            // Disconnected meanwhile: nothing of the run is left on a device.
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (phase == "done") {
                table_ = table;
                tableRegion_ = region;
            }
            running_ = false;
            waitingClick_ = false;
            run_["phase"] = phase;
            run_["error"] = error.empty() ? nlohmann::json() : nlohmann::json(error);
        }
        PublishRun();
        if (phase == "done") session_.SetPart("camera", CameraJson());
    };
    const auto stopped = [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        return quit_ || session_.StopCount() != stops;
    };
    const auto check = [](unsigned int result, const char* what) {
        if (result != 0) throw DeviceError(what, result);
    };
    try {
        session_.WithDevice([&](Korvan& korvan) {
            LaserSettings settings;
            settings.port = static_cast<OutputPorts>(LaserOutput1 + request.port - 1);
            check(korvan.AddLaser(settings, &laser), "cannot define the calibration laser");
            defined = true;
            check(korvan.SetLaserIntensity(laser, request.intensity), "cannot set the calibration intensity");
            check(korvan.StartCalibration(request.points, laser), "cannot start the calibration run");
        });
        for (unsigned int i = 0; i < request.points; ++i) {
            if (stopped()) return finish("stopped", "");
            const RPOINTF device = GridPoint(request.points, i);
            session_.WithDevice([&](Korvan& korvan) {
                check(korvan.MoveAbsolute(static_cast<unsigned int>(device.x), static_cast<unsigned int>(device.y)),
                      "cannot move the mirrors");
            });
            {
                std::lock_guard<std::mutex> lock(mutex_);
                run_["index"] = i;
                run_["device"] = PointJson(device.x, device.y);
                run_["phase"] = request.manual ? "waiting-click" : "running";
                waitingClick_ = request.manual;
                click_.reset();
            }
            PublishRun();
            RPOINTF camera;
            if (!request.manual) {
                SpotLight light;
                sim::VirtualCamera* virtualCamera = Camera();
                {
                    std::lock_guard<std::mutex> lock(cameraMutex_);
                    light = LookAtSpot(*virtualCamera, *session_.VirtualDevice());
                }
                const RPOINTF seen = region.FromSensor(RPOINTF(light.sensorX, light.sensorY));
                if (light.lit && (seen.x < 0 || seen.y < 0 || seen.x > region.width - 1 || seen.y > region.height - 1))
                    return finish("failed", "point " + std::to_string(i + 1) + " of " + std::to_string(request.points) +
                                                ": the spot lies outside the image; calibrate with a larger region");
                const FoundSpot spot = FindSpot(RenderFrame(region, light));
                if (!spot.found)
                    return finish("failed", "point " + std::to_string(i + 1) + " of " + std::to_string(request.points) +
                                                ": the spot is too dim to find (" + spot.why +
                                                "); raise the intensity or check the laser's port");
                camera = RPOINTF(spot.x, spot.y);
            } else {
                std::unique_lock<std::mutex> lock(mutex_);
                while (!click_ && !quit_ && session_.StopCount() == stops)
                    clicked_.wait_for(lock, std::chrono::milliseconds(100));
                if (!click_) {
                    lock.unlock();
                    return finish("stopped", "");
                }
                camera = *click_;
                waitingClick_ = false;
            }
            if (table.SetCalibrationPoint(i, camera, device) != 0)
                return finish("failed", "point " + std::to_string(i + 1) + " lies outside the image");
            session_.WithDevice([&](Korvan& korvan) {
                check(korvan.SetCalibrationPoint(i, camera, device), "cannot record the calibration point");
            });
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            run_["index"] = request.points;
        }
        finish("done", "");
    } catch (const std::exception& e) {
        finish(stopped() ? "stopped" : "failed", stopped() ? "" : e.what());
    }
}

void CameraStudio::Click(const nlohmann::json& body) {
    const double x = Number(body, "x"), y = Number(body, "y");
    if (x < 0 || y < 0) throw RequestError(400, "the spot must lie in the image (x and y 0 or more)");
    {
        // The region cannot change during a run, so the current image is the run's image.
        std::lock_guard<std::mutex> lock(mutex_);
        if (!waitingClick_) throw RequestError(409, "no calibration run waits for a spot");
        click_ = RPOINTF(x, y);
        waitingClick_ = false;
    }
    clicked_.notify_all();
}

nlohmann::json CameraStudio::TableJson() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!table_) throw RequestError(404, "there is no calibration table yet (run a calibration or open one)");
    const Calibration& table = *table_;
    nlohmann::json points = nlohmann::json::array();
    for (unsigned int i = 0; i < table.pointCount; ++i) {
        const CalibrationPoint& p = table.calibrationPoints[i];
        points.push_back(
            {{"camera", PointJson(p.camera.x, p.camera.y)}, {"device", PointJson(p.device.x, p.device.y)}});
    }
    const CalibrationQuality q = AssessCalibration(table);
    const auto orNull = [](double v) { return v < 0 ? nlohmann::json() : nlohmann::json(v); };
    nlohmann::json folded = nlohmann::json::array();
    for (unsigned int first : q.foldedCells) {
        nlohmann::json corners = nlohmann::json::array();
        for (unsigned int k : {first, first + 1, first + q.gridSize + 1, first + q.gridSize}) {
            const CalibrationPoint& p = table.calibrationPoints[k];
            corners.push_back(PointJson(p.camera.x, p.camera.y));
        }
        folded.push_back(corners);
    }
    nlohmann::json perPoint = nlohmann::json::array();
    for (size_t i = 0; i < q.points.size(); ++i) {
        const CalibrationPointQuality& pq = q.points[i];
        const CalibrationPoint& p = table.calibrationPoints[i];
        perPoint.push_back({{"camera", PointJson(p.camera.x, p.camera.y)},
                            {"arrow", pq.leaveOneOutPixels < 0 ? nlohmann::json()
                                                               : PointJson(pq.predictedCameraX - p.camera.x,
                                                                           pq.predictedCameraY - p.camera.y)},
                            {"leaveOneOutPixels", orNull(pq.leaveOneOutPixels)},
                            {"inFoldedCell", pq.inFoldedCell}});
    }
    nlohmann::json quality = {{"looksSound", q.LooksSound()},
                              {"gridSize", q.gridSize},
                              {"gridSpacing", q.gridSpacing},
                              {"leaveOneOutMean", orNull(q.leaveOneOutMean)},
                              {"leaveOneOutMax", orNull(q.leaveOneOutMax)},
                              {"leaveOneOutMaxPixels", orNull(q.leaveOneOutMaxPixels)},
                              {"foldedCells", folded},
                              {"points", perPoint}};
    return {{"points", points}, {"region", RegionJson(tableRegion_)}, {"quality", quality}};
}

nlohmann::json CameraStudio::SaveTable(const nlohmann::json& body) {
    const fs::path path = folder_.Resolve(PathOf(body));
    std::error_code ec;
    if (!fs::is_directory(path.parent_path(), ec)) throw RequestError(404, "no folder for " + PathOf(body));
    if (fs::is_directory(path, ec)) throw RequestError(400, PathOf(body) + " is a folder");
    Calibration table;
    korvan::CameraRegion region;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!table_) throw RequestError(409, "there is no calibration table to save");
        table = *table_;
        region = tableRegion_;
    }
    if (unsigned int r = korvan::SaveCalibrationWithRegion(table, region, path.string().c_str()))
        throw RequestError(409, "cannot save " + PathOf(body) + " (result " + std::to_string(r) + ")");
    return {{"path", folder_.Relative(path)}, {"bytes", fs::file_size(path, ec)}};
}

nlohmann::json CameraStudio::OpenTable(const nlohmann::json& body) {
    const fs::path path = folder_.Resolve(PathOf(body));
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) throw RequestError(404, "no file " + PathOf(body));
    Calibration table;
    std::string reason;
    if (korvan::LoadCalibrationFile(table, path.string().c_str(), &reason) != 0) throw RequestError(400, reason);
    korvan::CameraRegion region;
    bool stored = false;
    if (korvan::LoadCameraRegion(path.string().c_str(), &region, &stored, &reason) != 0)
        throw RequestError(400, reason);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_) throw RequestError(409, "a calibration run is going on");
        table_ = table;
        tableRegion_ = stored ? Sized(region) : FullSensor();
    }
    session_.SetPart("camera", CameraJson());
    return TableJson();
}

nlohmann::json CameraStudio::Shoot(const nlohmann::json& body) {
    const double x = Number(body, "x"), y = Number(body, "y");
    const long dwellMs = WholeNumber(body, "dwellMs", 1, 60000, 200);
    const long intensity = WholeNumber(body, "intensity", 0, 10000, 5000);
    const int port = LaserPort(body);
    RPOINTF device;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!table_) throw RequestError(409, "there is no calibration table: calibrate first");
        if (running_) throw RequestError(409, "a calibration run is going on");
        device = table_->DeviceCoordinates(korvan::ConvertCameraPoint(region_, tableRegion_, RPOINTF(x, y)));
    }
    if (!(device.x >= 0 && device.y >= 0 && device.x <= 65535 && device.y <= 65535))
        throw RequestError(400, "the spot lies outside the mirrors' range");
    // One point, lit for the dwell time: the sequence switches the laser on only once the mirrors
    // stand at the spot and off before they move again.
    const long ticks = std::max(1L, dwellMs * 1000 / static_cast<long>(kTickMicroseconds));
    const nlohmann::json document = {{"tickTime", kTickMicroseconds},
                                     {"units", "device"},
                                     {"lasers", {{{"name", "shot"}, {"port", "laser" + std::to_string(port)}}}},
                                     {"elements",
                                      {{{"type", "point"},
                                        {"at", {device.x, device.y}},
                                        {"laser", "shot"},
                                        {"intensity", intensity},
                                        {"repeat", ticks - 1}}}}};
    sequence_file::SequenceFile file = sequence_file::ParseSequenceText(document.dump(), folder_.Root().string());
    const auto start = std::chrono::steady_clock::now();
    session_.WithDevice([&](Korvan& korvan) {
        sequence_file::ApplyFileTiming(korvan, file);
        const sequence_file::DefinedSequence defined(korvan, std::move(file));
        defined.compiled.ThrowIfFailed();
        RunSettings settings;
        settings.quiet = true;
        settings.virtualDevice = session_.VirtualDevice();
        RunSequence(korvan, defined, settings);
    });
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return {{"device", PointJson(device.x, device.y)}, {"ms", ms}};
}

void CameraStudio::Route(httplib::Server& server) {
    server.Get("/api/camera",
               Guard([this](const httplib::Request&, httplib::Response& res) { SendJson(res, CameraJson()); }));
    server.Put("/api/camera", Guard([this](const httplib::Request& req, httplib::Response& res) {
                   PutCamera(BodyObject(req));
                   SendJson(res, CameraJson());
               }));
    server.Get("/api/camera/frame", Guard([this](const httplib::Request&, httplib::Response& res) {
                   res.set_content(FramePngNow(), "image/png");
               }));
    server.Get("/api/image/info", Guard([this](const httplib::Request& req, httplib::Response& res) {
                   const std::string path = req.get_param_value("path");
                   if (path.empty()) throw RequestError(400, "name the image: ?path=");
                   const ImageInfo info = DescribeImage(folder_.Resolve(path));
                   SendJson(res, {{"path", path},
                                  {"planes", info.planes},
                                  {"width", info.width},
                                  {"height", info.height},
                                  {"bitsPerSample", info.bitsPerSample}});
               }));
    server.Get("/api/image", Guard([this](const httplib::Request& req, httplib::Response& res) {
                   const std::string path = req.get_param_value("path");
                   if (path.empty()) throw RequestError(400, "name the image: ?path=");
                   nlohmann::json query = nlohmann::json::object();
                   if (req.has_param("plane")) {
                       const std::string text = req.get_param_value("plane");
                       const nlohmann::json plane = nlohmann::json::parse(text, nullptr, false);
                       if (!plane.is_number_integer()) throw RequestError(400, "\"plane\" must be a whole number");
                       query["plane"] = plane;
                   }
                   const long plane = WholeNumber(query, "plane", 0, 1L << 30, 0);
                   res.set_content(ImagePng(folder_.Resolve(path), static_cast<int>(plane)), "image/png");
               }));
    server.Post("/api/calibration/start", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    StartCalibration(BodyObject(req));
                    std::lock_guard<std::mutex> lock(mutex_);
                    SendJson(res, run_, 202);
                }));
    server.Post("/api/calibration/click", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    Click(BodyObject(req));
                    std::lock_guard<std::mutex> lock(mutex_);
                    SendJson(res, run_);
                }));
    server.Get("/api/calibration",
               Guard([this](const httplib::Request&, httplib::Response& res) { SendJson(res, TableJson()); }));
    server.Post("/api/calibration/save", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    SendJson(res, SaveTable(BodyObject(req)));
                }));
    server.Post("/api/calibration/open", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    SendJson(res, OpenTable(BodyObject(req)));
                }));
    server.Post("/api/shoot", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    SendJson(res, Shoot(BodyObject(req)));
                }));
}

}  // namespace tools::studio
