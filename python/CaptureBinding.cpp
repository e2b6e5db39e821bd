#include "python/CaptureBinding.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/DeviceInfoJson.h"
#include "convert/FrameReader.h"
#include "hvk32/CaptureState.h"
#include "hvk32/hvk32.h"
#include "python/Errors.h"
#include "python/Filters.h"
#include "python/FrameArrays.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hvk32::python {

namespace {

// What every view and iterator of one open capture shares: the library's open capture (its
// file, index and filter). Its frames are read by readers of the module's own, one per
// iterator, and converted into the module's pooled storage.
struct CaptureState {
    explicit CaptureState(hvk32::Capture opened)
        : capture(std::move(opened)), core(hvk32::detail::CaptureAccess::state(capture)), pathText(core.pathText)
    {
    }
    hvk32::Capture capture;
    const hvk32::detail::CaptureAccess::State& core;
    const std::string& pathText;
};

// Reads frame n (from 1) with `reader` as the library reads it, and converts it. The GIL is
// released meanwhile, and `lock` (when given) taken only then, so a thread waiting for it
// never holds the GIL.
Frame readFrame(const CaptureState& state, FrameReader& reader, int n, const std::shared_ptr<FramePool>& pool,
                std::mutex* lock = nullptr)
{
    std::unique_ptr<ConvertedFrame> converted;
    std::optional<hvk32::Error> failure;
    long number = 0;
    std::uint64_t lost = 0;
    {
        py::gil_scoped_release unlocked;
        std::unique_lock<std::mutex> guard;
        if (lock)
            guard = std::unique_lock<std::mutex>(*lock);
        try {
            hvk32::detail::readFrame(state.core, reader, static_cast<std::size_t>(n - 1));
            converted = convertFrame(reader.frame(), reader.snapshot(), state.core.options, pool);
            number = reader.number();
            lost = reader.lostPackets();
        } catch (const hvk32::Error& e) {
            failure = e;
        }
    }
    if (failure)
        throwError(PyExc_OSError, failure->what());
    return toFrame(std::move(converted), number, lost);
}

// Positions start, start + step, ... of a capture's frames, `count` of them (0-based).
struct Positions {
    long start = 0;
    long step = 1;
    long count = 0;

    long at(long i) const { return start + i * step; }
};

// An open capture, or a slice of one: a sequence of frames.
class Frames {
public:
    Frames(std::shared_ptr<const CaptureState> state, Positions positions)
        : state_(std::move(state)), positions_(positions)
    {
    }

    long size() const { return positions_.count; }

    // `index`: anything Python takes as a list index (int, NumPy's integers, ...).
    Frame item(const py::object& index)
    {
        const long count = positions_.count;
        const py::object number = py::reinterpret_steal<py::object>(PyNumber_Index(index.ptr()));
        if (!number) {
            PyErr_Clear();
            throwError(PyExc_TypeError,
                       std::string("frame indexes must be integers or slices, not ") + Py_TYPE(index.ptr())->tp_name);
        }
        // An index beyond what a long holds is beyond every capture: IndexError as for any other.
        int overflow = 0;
        long i = PyLong_AsLongAndOverflow(number.ptr(), &overflow);
        if (i == -1 && PyErr_Occurred())
            throw py::error_already_set();
        if (!overflow && i < 0)
            i += count;
        if (overflow || i < 0 || i >= count)
            throwError(PyExc_IndexError, state().pathText + " has " + std::to_string(count) + " frame"
                                             + (count == 1 ? "" : "s") + ", so there is no frame at index "
                                             + std::string(py::str(number)));
        const int n = static_cast<int>(positions_.at(i) + 1);
        // Kept by this call, whatever close() does meanwhile in another thread.
        const std::shared_ptr<const CaptureState> state = state_;
        if (!reader_)
            reader_ = std::make_shared<FrameReader>(state->core.path, state->core.index);
        const std::shared_ptr<FrameReader> reader = reader_;
        const std::shared_ptr<std::mutex> mutex = readerMutex_;
        return readFrame(*state, *reader, n, pool_, mutex.get());
    }

    Frames slice(const py::slice& s) const
    {
        py::ssize_t start = 0, stop = 0, step = 0, length = 0;
        if (!s.compute(static_cast<py::ssize_t>(positions_.count), &start, &stop, &step, &length))
            throw py::error_already_set();
        return Frames(state_, {positions_.at(start), positions_.step * step, static_cast<long>(length)});
    }

    class Iterator {
    public:
        Iterator(std::shared_ptr<const CaptureState> state, Positions positions)
            : state_(std::move(state)), positions_(positions), reader_(state_->core.path, state_->core.index)
        {
        }

        Frame next()
        {
            if (next_ >= positions_.count)
                throw py::stop_iteration();
            const int n = static_cast<int>(positions_.at(next_++) + 1);
            return readFrame(*state_, reader_, n, pool_);
        }

    private:
        std::shared_ptr<const CaptureState> state_;
        Positions positions_;
        FrameReader reader_;
        std::shared_ptr<FramePool> pool_ = std::make_shared<FramePool>();
        long next_ = 0;
    };

    std::unique_ptr<Iterator> iterate() const
    {
        state(); // open
        return std::make_unique<Iterator>(state_, positions_);
    }

protected:
    const CaptureState& state() const
    {
        if (!state_)
            throwError(PyExc_ValueError, "I/O operation on a closed capture");
        return *state_;
    }

    std::shared_ptr<const CaptureState> state_;
    Positions positions_;
    // Random access keeps one reader, so frames read in order play on without a seek.
    std::shared_ptr<FrameReader> reader_;
    std::shared_ptr<std::mutex> readerMutex_ = std::make_shared<std::mutex>();
    std::shared_ptr<FramePool> pool_ = std::make_shared<FramePool>();
};

class Capture : public Frames {
public:
    explicit Capture(std::shared_ptr<const CaptureState> state)
        : Frames(state, {0, 1, static_cast<long>(state->capture.size())})
    {
    }

    // The arrays already handed out own their memory and stay valid.
    void close()
    {
        reader_.reset();
        state_.reset();
        positions_.count = 0;
    }
    bool closed() const { return !state_; }

    py::object summary() const
    {
        return py::module_::import("json").attr("loads")(py::str(state().capture.summary()));
    }

    // Every device-info packet in file order: the file offset of its record, then its decoded
    // settings and status values as "hvk32-cli export --mcap" writes them.
    py::list deviceInfo() const
    {
        const CaptureState& s = state();
        std::vector<std::pair<qint64, QByteArray>> packets;
        {
            py::gil_scoped_release unlocked;
            capturefile::CaptureReader reader;
            if (reader.open(s.core.path)) {
                capturefile::ScannerRecord record{};
                qint64 offset = 0;
                for (;;) {
                    const auto read = reader.next(record, &offset);
                    if (read == capturefile::CaptureReader::Read::End)
                        break;
                    const std::uint8_t* payload = record.data() + capturefile::kPayloadOffset;
                    if (read == capturefile::CaptureReader::Read::Scanner
                        && payloadKindOf(payload) == PayloadKind::DeviceInfo)
                        packets.emplace_back(offset, deviceInfoJson(payload));
                }
            }
        }
        const py::object loads = py::module_::import("json").attr("loads");
        py::list out;
        for (const auto& [offset, json] : packets) {
            py::dict entry;
            entry["offset"] = offset;
            entry.attr("update")(loads(py::bytes(json.constData(), json.size())));
            out.append(entry);
        }
        return out;
    }

    std::string path() const { return state().pathText; }
};

// Opens and indexes the capture without the GIL; the library's failures as Python's errors.
std::shared_ptr<const CaptureState> openCapture(const std::string& pathText, const hvk32::Filter& filter)
{
    std::optional<hvk32::Capture> opened;
    std::optional<hvk32::Error> failure;
    {
        py::gil_scoped_release unlocked;
        try {
            opened.emplace(hvk32::Capture::open(pathText, filter));
        } catch (const hvk32::Error& e) {
            failure = e;
        }
    }
    if (failure)
        raiseOpenFailure(*failure);
    return std::make_shared<const CaptureState>(std::move(*opened));
}

} // namespace

// A path as Python's open() takes it: str, bytes (in the file system's encoding) or
// os.PathLike. A NUL would cut the name short where the system reads it, so it is refused
// as open() refuses it; so is a name that is not UTF-8, as the capture reader takes names
// as text.
std::string pathText(const py::object& path)
{
    const py::object decoded = py::module_::import("os").attr("fsdecode")(path);
    std::string text;
    try {
        text = py::str(decoded);
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_UnicodeError))
            throw;
        throwError(PyExc_ValueError, std::string(py::repr(path)) + ": a file name that is not UTF-8 cannot be opened");
    }
    if (text.find('\0') != std::string::npos)
        throwError(PyExc_ValueError, std::string(py::repr(path)) + ": embedded null byte");
    return text;
}

void raiseOpenFailure(const hvk32::Error& failure)
{
    using Kind = hvk32::Error::Kind;
    const Kind kind = failure.kind();
    throwError(kind == Kind::NotFound           ? PyExc_FileNotFoundError
                   : kind == Kind::PermissionDenied ? PyExc_PermissionError
                   : kind == Kind::Folder           ? PyExc_IsADirectoryError
                                                    : PyExc_ValueError,
               failure.what());
}

void bindCapture(py::module_& m)
{
    py::class_<Frames::Iterator>(m, "FrameIterator")
        .def("__iter__", [](Frames::Iterator& it) -> Frames::Iterator& { return it; })
        .def("__next__", &Frames::Iterator::next);

    py::class_<Frames>(m, "Frames", "Frames of a capture: a slice of a Capture, read as it is indexed.")
        .def("__len__", &Frames::size)
        // The slice first: the index overload takes any object.
        .def("__getitem__", &Frames::slice, py::arg("slice"))
        .def("__getitem__", &Frames::item, py::arg("index"))
        .def("__iter__", &Frames::iterate);

    py::class_<Capture, Frames>(m, "Capture",
                                "A capture file: its frames as hvk32-cli plays them, 0-based (frame i is the "
                                "command line's frame i + 1).")
        .def("summary", &Capture::summary, "The same keys and values as 'hvk32-cli info --summary'.")
        .def_property_readonly("device_info", &Capture::deviceInfo,
                               "Every device-info packet: file offset, decoded settings and status values.")
        .def_property_readonly("path", &Capture::path)
        .def_property_readonly("closed", &Capture::closed)
        .def("close", &Capture::close, "Closes the file; frames already read stay valid.")
        .def("__enter__", [](Capture& c) -> Capture& { return c; })
        .def("__exit__", [](Capture& c, py::args) { c.close(); })
        .def("__repr__", [](const Capture& c) {
            return c.closed() ? std::string("<hvk32.Capture (closed)>")
                              : "<hvk32.Capture " + c.path() + ": " + std::to_string(c.size()) + " frames>";
        });

    m.def(
        "open",
        [](const py::object& path, const py::object& channels, const py::object& minDistance,
           const py::object& maxDistance, bool keepZero) {
            const std::string text = pathText(path);
            return Capture(openCapture(text, captureFilter(channels, minDistance, maxDistance, keepZero)));
        },
        py::arg("path"), py::kw_only(), py::arg("channels") = py::none(), py::arg("min_distance") = py::none(),
        py::arg("max_distance") = py::none(), py::arg("keep_zero") = false,
        "Opens a capture file and indexes its frames. channels: the channels to keep (0..31); "
        "min_distance, max_distance: the distance range kept [m]; keep_zero: keep returns of distance 0.");
}

} // namespace hvk32::python
