// Writes the process-level benchmark inputs into one directory and lists
// them on standard output, one a line: file name, records before the
// closing one, kind ("series" for the record-count series, "shape" for the
// unusual token shapes, "layout" for the typical records in other layouts)
// and a short description.
#include <cstdio>
#include <string>

#include "input_text.hpp"

namespace {

bool write_input(const std::string& directory, const char* name, const std::string& text) {
    const std::string path = directory + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string directory = argv[1];
    bool ok = true;

    // The full list is the one the instruction and wall-time targets are
    // set for; the shorter ones show how the cost grows with the count.
    static constexpr int series_counts[] = {1, 10, 100, 1000, 3000, 9999};
    for (const int count : series_counts) {
        const std::string name = "typical-" + std::to_string(count) + ".txt";
        ok = ok && write_input(directory, name.c_str(), typical_records(count));
        std::printf("%s\t%d\tseries\ttypical records\n", name.c_str(), count);
    }

    struct shape_input {
        const char* name;
        int records;
        std::string text;
        const char* description;
    };
    const shape_input shapes[] = {
        {"decimal-50.txt", 9999, long_decimal_records(9999, 50), "50-digit decimals"},
        {"decimal-1000.txt", 1000, long_decimal_records(1000, 1000), "1000-digit decimals"},
        {"hex.txt", 9999, hex_records(9999), "hexadecimal constants"},
        {"infinity.txt", 9999, infinity_records(9999), "infinity and nan spellings"},
        {"white-space.txt", 9999, white_space_records(9999, 100),
         "100 white-space characters before each value"},
    };
    for (const shape_input& shape : shapes) {
        ok = ok && write_input(directory, shape.name, shape.text);
        std::printf("%s\t%d\tshape\t%s\n", shape.name, shape.records, shape.description);
    }

    // The typical records again, written in each layout that users' exports
    // write.
    for (const layout_name& layout : record_layouts) {
        const std::string name = std::string("layout-") + layout.name + ".txt";
        ok = ok && write_input(directory, name.c_str(), layout_records(9999, layout.layout));
        std::printf("%s\t%d\tlayout\t%s\n", name.c_str(), 9999, layout.description);
    }

    // Lists whose shape changes record by record, and beside each the list of
    // each of its shapes alone ("mix-part"), named <mix>--<shape>.txt; the
    // description of a mix gives its records per shape.
    for (const record_mix& mix : record_mixes) {
        std::int32_t counts[12] = {};
        const std::string name = std::string(mix.name) + ".txt";
        ok = ok && write_input(directory, name.c_str(), mixed_records(9999, mix, -1, counts));
        std::string weights;
        for (int shape = 0; shape < mix.shape_count; ++shape)
            weights += std::string(shape == 0 ? "" : ",") + mix.shapes[shape].name + "=" +
                       std::to_string(counts[shape]);
        std::printf("%s\t%d\tmix\t%s [%s]\n", name.c_str(), 9999, mix.description, weights.c_str());
        for (int shape = 0; shape < mix.shape_count; ++shape) {
            std::int32_t unused[12] = {};
            const std::string part = std::string(mix.name) + "--" + mix.shapes[shape].name + ".txt";
            ok =
                ok && write_input(directory, part.c_str(), mixed_records(9999, mix, shape, unused));
            std::printf("%s\t%d\tmix-part\t%s\n", part.c_str(), 9999, mix.shapes[shape].name);
        }
    }
    return ok ? 0 : 1;
}
