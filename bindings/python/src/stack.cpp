// Image stacks: TIFF and BigTIFF files read straight into numpy arrays.
#include "common.h"

#include <tessel/tiff/tiff_stack_reader.h>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <optional>
#include <vector>

namespace pykorvan {
namespace {

/// One open stack file. The reader is used by one thread at a time: reads run without the
/// interpreter lock, so a close from another thread waits for them.
class TiffStack {
public:
    explicit TiffStack(const std::filesystem::path& path) {
        {
            py::gil_scoped_release release;
            handle_ = TiffStackReader_Open(path.string().c_str());
        }
        if (!handle_.reader) {
            const std::string why = handle_.log ? handle_.log : "cannot open";
            TiffStackReader_Close(&handle_);
            throw py::value_error(path.string() + ": " + why);
        }
        shape_ = TiffStackReader_GetShape(&handle_);
    }
    ~TiffStack() { Close(); }

    void Close() {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(mutex_);
        TiffStackReader_Close(&handle_);
    }

    /// numpy order: images, rows, columns, samples (each left out when 1, as the reader does).
    std::vector<py::ssize_t> Shape() const {
        std::vector<py::ssize_t> dims;
        for (uint32_t i = shape_.ndim; i-- > 0;) dims.push_back(static_cast<py::ssize_t>(shape_.dims[i]));
        return dims;
    }

    py::dtype DType() const {
        static const char* const kTypes[] = {"<u1", "<u2", "<u4", "<u8", "<i1", "<i2", "<i4", "<i8", "<f4", "<f8"};
        if (shape_.type >= 10) throw py::value_error("unknown pixel type");
        return py::dtype(kTypes[shape_.type]);
    }

    /// All pixels, read once into the array's own buffer.
    py::array Read() {
        py::array out(DType(), Shape());
        const uint64_t bytes = static_cast<uint64_t>(out.nbytes());
        int ok = 0;
        std::string why;
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(mutex_);
            if (!handle_.reader)
                why = "the stack is closed";
            else if (TiffStackReader_GetDataSizeBytes(&handle_) != bytes)
                why = "pixel data size does not match the shape";
            else {
                ok = TiffStackReader_GetData(&handle_, out.mutable_data(), bytes);
                if (!ok) why = handle_.log ? handle_.log : "read failed";
            }
        }
        if (!ok) throw py::value_error(why);
        return out;
    }

    int ImageCount() {
        std::lock_guard<std::mutex> lock(mutex_);
        return TiffStackReader_GetImageDescriptionCount(&handle_);
    }

    /// Text as stored, without its NUL; bytes that are not UTF-8 are replaced rather than refused.
    static py::str Text(const char* data, size_t size) {
        while (size > 0 && data[size - 1] == '\0') --size;
        return py::reinterpret_steal<py::str>(PyUnicode_DecodeUTF8(data, static_cast<py::ssize_t>(size), "replace"));
    }

    std::optional<py::str> Description(int index) {
        std::vector<char> buffer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (index < 0 || index >= TiffStackReader_GetImageDescriptionCount(&handle_))
                throw py::index_error("no image " + std::to_string(index));
            const size_t size = TiffStackReader_GetImageDescriptionSizeBytes(&handle_, index);
            if (size == 0) return std::nullopt;
            buffer.resize(size);
            if (!TiffStackReader_GetImageDescription(&handle_, index, buffer.data(), size))
                throw py::value_error(handle_.log ? handle_.log : "cannot read the description");
        }
        return Text(buffer.data(), buffer.size());
    }

    std::optional<py::str> Metadata() {
        std::vector<char> buffer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const size_t size = TiffStackReader_GetMetadataSizeBytes(&handle_);
            if (size == 0) return std::nullopt;
            buffer.resize(size);
            if (!TiffStackReader_GetMetadata(&handle_, buffer.data(), size))
                throw py::value_error(handle_.log ? handle_.log : "cannot read the metadata");
        }
        return Text(buffer.data(), buffer.size());
    }

private:
    std::mutex mutex_;
    TiffStackReader handle_{nullptr, nullptr};
    TiffStackShape shape_{};
};

}  // namespace

void BindStack(py::module_& m) {
    py::class_<TiffStack>(m, "TiffStack", R"doc(
An open TIFF or BigTIFF image stack (stored as strips), a context manager. `shape` is numpy's
order (images, rows, columns, samples), each dimension left out when it is 1.

    with korvan.TiffStack("stack.tif") as stack:
        pixels = stack.read()          # e.g. uint16, shape (images, height, width)
        text = stack.description(0))doc")
        .def(py::init<const std::filesystem::path&>(), py::arg("path"),
             "Opens the file and reads its directories; ValueError says why it cannot.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__",
             [](TiffStack& s, py::args) {
                 s.Close();
                 return false;
             })
        .def("close", &TiffStack::Close, "Closes the file; arrays already read stay valid.")
        .def_property_readonly(
            "shape", [](const TiffStack& s) { return py::tuple(py::cast(s.Shape())); },
            "numpy shape: images, rows, columns, samples (each left out when 1)")
        .def_property_readonly("dtype", &TiffStack::DType, "numpy dtype of the pixels (little-endian)")
        .def_property_readonly("image_count", &TiffStack::ImageCount, "number of images in the file")
        .def("read", &TiffStack::Read, R"doc(
All pixels as one array of the file's sample type (little-endian), read straight into the
array's own buffer without a copy; the interpreter lock is released while reading.)doc")
        .def("description", &TiffStack::Description, py::arg("index"),
             "The ImageDescription text of image `index`, None when it has none.")
        .def_property_readonly(
            "descriptions",
            [](TiffStack& s) {
                std::vector<std::optional<py::str>> out;
                const int n = s.ImageCount();
                for (int i = 0; i < n; ++i) out.push_back(s.Description(i));
                return out;
            },
            "The descriptions of all images (None where an image has none).")
        .def_property_readonly("metadata", &TiffStack::Metadata,
                               "The acquisition metadata text, None when the file has none.");

    m.def(
        "read_stack", [](const std::filesystem::path& path) { return TiffStack(path).Read(); }, py::arg("path"),
        "The pixels of a TIFF or BigTIFF stack as a numpy array (see TiffStack.read).");
    m.def(
        "tiff_reader_version", [] { return std::string(TiffStackReader_APIVersion()); }, "Version of the TIFF reader.");
}

}  // namespace pykorvan
