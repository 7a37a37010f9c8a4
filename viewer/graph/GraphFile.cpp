#include "viewer/graph/GraphFile.h"

#include "viewer/graph/SiteGraph.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <fstream>
#include <istream>
#include <ostream>
#include <utility>

namespace {

constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";
constexpr std::string_view kNodeRecord = "n";
constexpr std::string_view kEdgeRecord = "e";
constexpr std::string_view kPositionToken = "p";
constexpr std::string_view kSizeToken = "s";
constexpr std::string_view kStraightToken = "d";
constexpr std::string_view kBendToken = "b";
constexpr std::string_view kKindToken = "k";
constexpr std::string_view kStartToken = "start";
constexpr int kRandomPositionRange = 500;

std::vector<std::string_view> SplitTokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    size_t start = line.find_first_not_of(kWhiteSpace);
    while (start != std::string_view::npos) {
        size_t end = line.find_first_of(kWhiteSpace, start);
        if (end == std::string_view::npos) end = line.size();
        tokens.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(kWhiteSpace, end);
    }
    return tokens;
}

// The integer a token starts with, as atoi reads it: an optional sign and
// digits, anything else ends it; no digits give 0. Held within 32 bits.
int32_t ParseInteger(std::string_view token) {
    size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    int64_t value = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i)
        value = std::min<int64_t>(value * 10 + (token[i] - '0'), int64_t{INT32_MAX} + 1);
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// The floating-point number a token starts with (none gives 0), truncated
// toward zero into the coordinate range.
int32_t ParseCoordinate(std::string_view token) {
    bool negative = !token.empty() && token.front() == '-';
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    double value = 0.0;
    auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too large or too small to hold: an exponent with a minus sign means tiny.
        std::string_view number(token.data(), static_cast<size_t>(end - token.data()));
        size_t exponent = number.find_first_of("eE");
        bool tiny = exponent != std::string_view::npos && exponent + 1 < number.size() &&
                    number[exponent + 1] == '-';
        value = tiny ? 0.0 : (negative ? -kCoordLimit : kCoordLimit);
    } else if (error != std::errc()) {
        value = 0.0;
    }
    return TruncateCoord(value);
}

int32_t ParseLength(std::string_view token) { return std::max(ParseCoordinate(token), 0); }

// A kind code: digits only, naming one of the kinds; false for anything else.
bool ParseKind(std::string_view token, NodeKind& kind) {
    int32_t code = -1;
    auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), code);
    return error == std::errc() && end == token.data() + token.size() && code >= 0 &&
           NodeKindFromCode(code, kind);
}

void AppendNumber(std::string& line, int64_t number) { line += std::to_string(number); }

void WriteNode(std::string& line, const GraphNode& node) {
    const Rectangle& box = node.Box();
    line += "n ";
    AppendNumber(line, node.id);
    line += ' ';
    line += node.label;
    line += ' ';
    line += node.url;
    line += " p ";
    AppendNumber(line, box.left);
    line += ' ';
    AppendNumber(line, box.top);
    line += " s ";
    AppendNumber(line, box.Width());
    line += ' ';
    AppendNumber(line, box.Height());
    line += " k ";
    AppendNumber(line, static_cast<int32_t>(node.kind));
    if (node.isRoot) line += " start";
    line += '\n';
}

void WriteEdge(std::string& line, GraphEdge& edge) {
    std::erase_if(edge.bends, [](const BendPoint& bend) { return bend.automatic; });
    line += "e ";
    AppendNumber(line, edge.source->id);
    line += ' ';
    AppendNumber(line, edge.target->id);
    line += edge.straight ? " d " : " ";
    for (const BendPoint& bend : edge.bends) {
        line += "b ";
        AppendNumber(line, bend.x);
        line += ' ';
        AppendNumber(line, bend.y);
        line += ' ';
    }
    line += '\n';
}

}  // namespace

void WriteGraphText(SiteGraph& graph, std::ostream& out) {
    std::string line;
    for (const auto& node : graph.Nodes()) {
        line.clear();
        WriteNode(line, *node);
        out << line;
    }
    for (const auto& edge : graph.Edges()) {
        line.clear();
        WriteEdge(line, *edge);
        out << line;
    }
}

bool SaveGraphFile(SiteGraph& graph, const std::string& path) {
    std::ofstream out(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out) return false;
    WriteGraphText(graph, out);
    out.flush();
    return static_cast<bool>(out);
}

bool LoadGraphFile(SiteGraph& graph, const std::string& path, const NodeMeasure& measure,
                   RandomGenerator& random) {
    BusyPointer busy(graph.busyPointer);
    std::ifstream in(path, std::ios::in | std::ios::binary);
    bool opened = static_cast<bool>(in);
    if (opened) GraphFileReader(graph, random).ReadAll(in);
    // The stored sizes give way to sizes fitted to the labels; positions stay.
    FitNodeSizes(graph, measure);
    return opened;
}

void GraphFileReader::ReadAll(std::istream& in) {
    std::string line;
    while (std::getline(in, line)) ReadLine(line);
}

void GraphFileReader::ReadLine(std::string_view line) {
    std::vector<std::string_view> tokens = SplitTokens(line);
    if (tokens.empty()) return;
    if (tokens[0] == kNodeRecord)
        ReadNode(tokens);
    else if (tokens[0] == kEdgeRecord)
        ReadEdge(tokens);
}

void GraphFileReader::ReadNode(const std::vector<std::string_view>& tokens) {
    if (tokens.size() < 4) return;  // id, label and url are needed
    Point position;
    position.y = random_.Next() % kRandomPositionRange;
    position.x = random_.Next() % kRandomPositionRange;
    Size size{kDefaultNodeWidth, kDefaultNodeHeight};
    // Without a valid kind token the scheme tells what it can.
    NodeKind kind = NodeKindOfUrl(tokens[3]);
    bool start = false;
    for (size_t i = 4; i < tokens.size(); ++i) {
        bool pair = i + 2 < tokens.size();
        if (tokens[i] == kPositionToken && pair) {
            position = {ParseCoordinate(tokens[i + 1]), ParseCoordinate(tokens[i + 2])};
            i += 2;
        } else if (tokens[i] == kSizeToken && pair) {
            size = {ParseLength(tokens[i + 1]), ParseLength(tokens[i + 2])};
            i += 2;
        } else if (tokens[i] == kKindToken && i + 1 < tokens.size()) {
            ParseKind(tokens[++i], kind);  // a bad code leaves the kind as it was
        } else if (tokens[i] == kStartToken) {
            start = true;
        }
    }
    auto node = std::make_unique<GraphNode>(ParseInteger(tokens[1]), std::string(tokens[2]),
                                            std::string(tokens[3]), Rectangle(position, size));
    node->kind = kind;
    GraphNode* added = graph_.AddNode(std::move(node));
    fileNodes_.emplace(added->id, added);
    // The first start mark counts, unless the open graph has its start node.
    if (start && !graph_.RootNode()) graph_.SetRootNode(added);
}

GraphNode* GraphFileReader::Resolve(int32_t id) const {
    auto found = fileNodes_.find(id);
    return found != fileNodes_.end() ? found->second : graph_.FindNode(id);
}

void GraphFileReader::ReadEdge(const std::vector<std::string_view>& tokens) {
    if (tokens.size() < 3) return;
    GraphNode* source = Resolve(ParseInteger(tokens[1]));
    GraphNode* target = Resolve(ParseInteger(tokens[2]));
    if (!source || !target) return;
    auto edge = std::make_unique<GraphEdge>(source, target);
    for (size_t i = 3; i < tokens.size(); ++i) {
        if (tokens[i] == kStraightToken) {
            edge->straight = true;
        } else if (tokens[i] == kBendToken && i + 2 < tokens.size()) {
            edge->bends.push_back({ParseCoordinate(tokens[i + 1]), ParseCoordinate(tokens[i + 2]), false});
            i += 2;
        }
    }
    graph_.AddEdge(std::move(edge));
}
