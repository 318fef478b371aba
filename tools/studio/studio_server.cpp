#include "tools/studio/studio_server.h"

#include "tools/report.h"
#include "tools/studio/file_endpoints.h"
#include "tools/studio/http_json.h"
#include "tools/studio/web_assets.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tools::studio {
namespace {

constexpr auto kWatchInterval = std::chrono::milliseconds(200);
// An event stream wakes at least this often, to notice a closed tab or the end of the server.
constexpr auto kStreamBeat = std::chrono::milliseconds(500);
constexpr size_t kMaxBody = 64u << 20;

}  // namespace

StudioServer::StudioServer(const StudioOptions& options)
    : session_(std::make_unique<DeviceSession>(options.virtualDevice)), folder_(options.folder) {
    if (options.virtualDevice)
        session_->ConnectVirtual();
    else if (!options.device.empty())
        session_->Connect(options.device);
    port_ = options.listen.port == 0
                ? server_.bind_to_any_port(options.listen.host)
                : (server_.bind_to_port(options.listen.host, options.listen.port) ? options.listen.port : -1);
    if (port_ <= 0)
        throw UsageError("cannot listen on " + options.listen.host + ":" + std::to_string(options.listen.port));
    policy_ = std::make_unique<AccessPolicy>(NewToken(), options.listen.host, port_);
    camera_ = std::make_unique<CameraStudio>(*session_, folder_);
    run_ = std::make_unique<RunStudio>(*session_, folder_);
    Route();
    serving_ = std::thread([this] { server_.listen_after_bind(); });
    watching_ = std::thread([this] {
        while (!stopping_) {
            session_->Poll();
            std::this_thread::sleep_for(kWatchInterval);
        }
    });
}

StudioServer::~StudioServer() { Stop(); }

void StudioServer::Stop() {
    if (stopping_.exchange(true)) return;
    server_.stop();
    if (serving_.joinable()) serving_.join();
    if (watching_.joinable()) watching_.join();
    camera_.reset();
    run_.reset();
}

void StudioServer::Route() {
    server_.set_payload_max_length(kMaxBody);
    // No CORS headers, ever: other sites' scripts get nothing. The page is framed by nobody and
    // sends no referrer (its address carries the token).
    server_.set_default_headers(
        {{"Cache-Control", "no-store"},
         {"X-Content-Type-Options", "nosniff"},
         {"X-Frame-Options", "DENY"},
         {"Referrer-Policy", "no-referrer"},
         {"Content-Security-Policy", "default-src 'self'; img-src 'self' data: blob:; frame-ancestors 'none'"}});
    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const Verdict verdict = policy_->Check(req);
        if (!verdict) {
            SendError(res, verdict.status, verdict.error);
            return httplib::Server::HandlerResponse::Handled;
        }
        if (verdict.setCookie) res.set_header("Set-Cookie", policy_->TokenCookie());
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server_.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) SendError(res, res.status, res.status == 404 ? "no such resource" : "malformed request");
    });

    server_.Get(R"(/|/[a-z0-9_-]+\.(html|css|js))", [](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.path == "/" ? "index.html" : req.path.substr(1);
        // While working on the page, its files can come from the source folder instead, without
        // a rebuild; the pattern above keeps the name a plain file name.
        if (const char* dir = std::getenv("KORVAN_STUDIO_WEB_DIR"); dir && *dir) {
            std::ifstream in(std::filesystem::path(dir) / name, std::ios::binary);
            if (!in) return SendError(res, 404, "no such file");
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            return res.set_content(text, ContentTypeOf(name));
        }
        const WebAsset* asset = FindWebAsset(name);
        if (!asset) return SendError(res, 404, "no such file");
        res.set_content(reinterpret_cast<const char*>(asset->data), asset->size, ContentTypeOf(name));
    });

    server_.Get("/api/state",
                [this](const httplib::Request&, httplib::Response& res) { SendJson(res, session_->State()); });
    server_.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) { ServeEvents(res); });
    server_.Get("/api/devices", Guard([this](const httplib::Request&, httplib::Response& res) {
                    SendJson(res, {{"devices", session_->Devices()}});
                }));
    server_.Post("/api/connect", Guard([this](const httplib::Request& req, httplib::Response& res) {
                     const nlohmann::json body = BodyObject(req);
                     if (body.value("virtual", false))
                         session_->ConnectVirtual();
                     else if (body.contains("device") && body["device"].is_string() &&
                              !body["device"].get<std::string>().empty())
                         session_->Connect(body["device"].get<std::string>());
                     else
                         throw RequestError(400, "name a \"device\" (port or serial number) or ask for \"virtual\"");
                     SendJson(res, session_->State());
                 }));
    server_.Post("/api/disconnect", Guard([this](const httplib::Request&, httplib::Response& res) {
                     session_->Disconnect();
                     SendJson(res, session_->State());
                 }));
    server_.Post("/api/stop", Guard([this](const httplib::Request&, httplib::Response& res) {
                     const bool ok = session_->StopAll();
                     nlohmann::json state = session_->State();
                     SendJson(res, {{"ok", ok}, {"state", state}}, ok ? 200 : 409);
                 }));
    server_.Get("/api/files", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    SendJson(res, ListFolder(folder_, req.get_param_value("dir")));
                }));
    server_.Get("/api/sequence", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    SendJson(res, OpenSequence(folder_, req.get_param_value("path")));
                }));
    server_.Put("/api/sequence", Guard([this](const httplib::Request& req, httplib::Response& res) {
                    if (!req.has_param("path")) throw RequestError(400, "name the file: ?path=");
                    SendJson(res, SaveSequence(folder_, req.get_param_value("path"), req.body));
                }));
    server_.Post("/api/sequence/check", Guard([this](const httplib::Request& req, httplib::Response& res) {
                     SendJson(res, CheckSequence(folder_, req.get_param_value("path"), req.body));
                 }));
    camera_->Route(server_);
    run_->Route(server_);
}

void StudioServer::ServeEvents(httplib::Response& res) {
    auto seen = std::make_shared<uint64_t>(0);
    res.set_chunked_content_provider("text/event-stream", [this, seen](size_t, httplib::DataSink& sink) {
        if (stopping_) {
            sink.done();
            return true;
        }
        const nlohmann::json state = session_->WaitForChange(*seen, kStreamBeat);
        const uint64_t version = state.value("version", uint64_t{0});
        // A comment line when nothing changed: a closed tab then fails the write and ends here.
        const std::string message =
            version > *seen ? "event: state\ndata: " + state.dump() + "\n\n" : std::string(": beat\n\n");
        *seen = std::max(*seen, version);
        return sink.write(message.data(), message.size());
    });
}

}  // namespace tools::studio
