// COLLADA import: geometry with its skin, animation clips, geometry names and
// the texture chain of a geometry, read through the engine's small XML tree.
#include "render/QX9_Render_Collada.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <type_traits>

#include "engine/QX9_System_XML.h"

namespace {

enum class TUpAxis { X, Y, Z };

// ---------------------------------------------------------------------------
// Reading the tree

std::unique_ptr<TXML> ReadTree(const std::string& operation, const std::string& fileName)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(fileName, bytes))
        FatalError(operation, fileName, "FILE NOT FOUND!");
    return TXML::CreateFromText(std::string(bytes.begin(), bytes.end()), 1);
}

// The element at the end of a path of tags, or nullptr.
const TXML* Path(const TXML* from, std::initializer_list<const char*> tags)
{
    for (const char* tag : tags) {
        if (from == nullptr)
            return nullptr;
        from = from->Child(tag);
    }
    return from;
}

std::string Param(const TXML* element, const std::string& name)
{
    if (element == nullptr || element->Params == nullptr)
        return std::string();
    return element->Params->Find(name).Value;
}

const TXML* FindContaining(const TXML* parent, const char* tag, const char* attribute, const std::string& text)
{
    return parent == nullptr ? nullptr : parent->FindChild(tag, attribute, false, text);
}

const TXML* FindEqual(const TXML* parent, const char* tag, const char* attribute, const std::string& text)
{
    return parent == nullptr ? nullptr : parent->FindChild(tag, attribute, true, text);
}

TUpAxis UpAxisOf(const TXML& root)
{
    const TXML* up = Path(&root, {"asset", "up_axis"});
    const std::string text = up != nullptr ? up->Text : std::string();
    if (text == "Y_UP")
        return TUpAxis::Y;
    if (text == "Z_UP")
        return TUpAxis::Z;
    // Any other text reads as X_UP.
    return TUpAxis::X;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Calls each(token) for the blank-separated tokens of the text.
template <class TEach> void ForTokens(const std::string& text, TEach&& each)
{
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        while (p < end && IsBlank(*p))
            p++;
        const char* start = p;
        while (p < end && !IsBlank(*p))
            p++;
        if (p > start)
            each(start, p);
    }
}

// Numbers of an element's text; a token that is no number reads as 0.
template <class T> std::vector<T> Numbers(const TXML* element)
{
    std::vector<T> out;
    if (element == nullptr)
        return out;
    ForTokens(element->Text, [&](const char* from, const char* to) {
        T value = 0;
        if (*from == '+')
            from++;
        const auto result = std::from_chars(from, to, value);
        bool usable = result.ec == std::errc();
        if constexpr (std::is_floating_point_v<T>)
            usable = usable && std::isfinite(value);
        out.push_back(usable ? value : 0);
    });
    return out;
}

std::vector<float> Floats(const TXML* element)
{
    return Numbers<float>(element);
}

std::vector<int64_t> Integers(const TXML* element)
{
    return Numbers<int64_t>(element);
}

// ---------------------------------------------------------------------------
// Up-axis conversion

TVec3 ConvertVector(TUpAxis axis, const TVec3& v)
{
    switch (axis) {
    case TUpAxis::X:
        return {v.y, v.x, v.z};
    case TUpAxis::Z:
        return {v.x, v.z, v.y};
    default:
        return v;
    }
}

// The array product a x b.
TMatrix4 Product(const TMatrix4& a, const TMatrix4& b)
{
    TMatrix4 out;
    MatrixMultiply(b, a, out);
    return out;
}

// C^-1 x M x C.
TMatrix4 ConvertMatrix(TUpAxis axis, const TMatrix4& m)
{
    static const TMatrix4 xUp = {{0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    static const TMatrix4 xUpInverse = {{0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
    static const TMatrix4 zUp = {{1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1}};
    switch (axis) {
    case TUpAxis::X:
        return Product(Product(xUpInverse, m), xUp);
    case TUpAxis::Z:
        return Product(Product(zUp, m), zUp);
    default:
        return m;
    }
}

[[noreturn]] void BadFormat(const std::string& operation, const std::string& fileName)
{
    FatalError(operation, fileName, "BAD FORMAT!");
}

[[noreturn]] void Unsupported(const std::string& fileName)
{
    FatalError("Load_Geometry_XML", fileName, "UNSUPPORTED GEOMETRY!");
}

// Matrix n (16 numbers) of the list, up-axis converted.
TMatrix4 MatrixAt(const std::vector<float>& numbers, size_t n, TUpAxis axis, const std::string& operation,
                  const std::string& fileName)
{
    if (numbers.size() < 16 * (n + 1))
        BadFormat(operation, fileName);
    TMatrix4 m;
    std::copy(numbers.begin() + static_cast<std::ptrdiff_t>(16 * n),
              numbers.begin() + static_cast<std::ptrdiff_t>(16 * (n + 1)), m.e);
    return ConvertMatrix(axis, m);
}

// ---------------------------------------------------------------------------
// The skin controller

struct TInfluences {
    int32_t Count = 0;
    uint8_t Bone[8] = {};
    float Weight[8] = {};
};

int32_t BoneNamed(const T3D_Skin& skin, const std::string& name)
{
    for (size_t b = 0; b < skin.Bones.size(); b++)
        if (skin.Bones[b].Name == name)
            return static_cast<int32_t>(b);
    return -1;
}

void VisitJoint(const TXML& node, int32_t bone, int32_t parent, T3D_Skin& skin)
{
    skin.Bones[static_cast<size_t>(bone)].NodeName = Param(&node, "name");
    skin.Bones[static_cast<size_t>(bone)].Parent = parent;
    for (const auto& child : node.Children) {
        if (child->Tag != "node" || child->Params == nullptr || child->Params->Count() == 0)
            continue;
        const int32_t childBone = BoneNamed(skin, Param(child.get(), "sid"));
        // A joint already placed is not visited again (a node naming its own
        // ancestor's joint would loop).
        if (childBone >= 0 && childBone != bone && skin.Bones[static_cast<size_t>(childBone)].Parent == -1 &&
            childBone != skin.RootBone)
            VisitJoint(*child, childBone, bone, skin);
    }
}

// Reads the skin controller of the geometry and the influences of each
// position index; false when the file has none for it.
bool ReadSkin(const TXML& root, const std::string& fileName, const std::string& geometryName, TUpAxis axis,
              T3D_Skin& skin, std::vector<TInfluences>& influences)
{
    const TXML* controllers = root.Child("library_controllers");
    const TXML* firstController = controllers != nullptr ? controllers->Child("controller") : nullptr;
    if (firstController == nullptr || !firstController->HasChild("skin"))
        return false;
    const TXML* controller = FindContaining(controllers, "controller", "id", geometryName);
    const TXML* skinElement = FindContaining(controller, "skin", "source", geometryName);
    if (skinElement == nullptr)
        return false;
    const std::string operation = "Load_Geometry_XML";
    skin.Bones.clear();
    skin.Clips.clear();
    skin.RootBone = 0;
    skin.BindShape = IdentityMatrix;
    if (const TXML* bindShape = skinElement->Child("bind_shape_matrix"))
        skin.BindShape = MatrixAt(Floats(bindShape), 0, axis, operation, fileName);

    const TXML* joints = FindContaining(skinElement, "source", "id", "joints");
    if (const TXML* names = joints != nullptr ? joints->Child("Name_array") : nullptr) {
        std::string text = names->Text;
        std::replace(text.begin(), text.end(), ':', ' ');
        ForTokens(text, [&](const char* from, const char* to) {
            T3D_Bone bone;
            bone.Name.assign(from, to);
            skin.Bones.push_back(std::move(bone));
        });
    }
    const TXML* poses = FindContaining(skinElement, "source", "id", "bind_poses");
    if (poses != nullptr) {
        const std::vector<float> numbers = Floats(poses->Child("float_array"));
        for (size_t b = 0; b < skin.Bones.size(); b++)
            skin.Bones[b].InverseBind = MatrixAt(numbers, b, axis, operation, fileName);
    }

    const TXML* weightSource = FindContaining(skinElement, "source", "id", "weights");
    const std::vector<float> weights = Floats(weightSource != nullptr ? weightSource->Child("float_array") : nullptr);
    const TXML* vertexWeights = skinElement->Child("vertex_weights");
    const std::vector<int64_t> counts = Integers(vertexWeights != nullptr ? vertexWeights->Child("vcount") : nullptr);
    const std::vector<int64_t> pairs = Integers(vertexWeights != nullptr ? vertexWeights->Child("v") : nullptr);
    influences.assign(counts.size(), TInfluences());
    size_t next = 0;
    for (size_t position = 0; position < counts.size(); position++) {
        TInfluences& slots = influences[position];
        if (counts[position] < 0 || static_cast<uint64_t>(counts[position]) > (pairs.size() - next) / 2)
            BadFormat(operation, fileName);
        for (int64_t k = 0; k < counts[position]; k++, next += 2) {
            const int64_t bone = pairs[next], weightIndex = pairs[next + 1];
            // Bone numbers are stored as bytes in the vertices.
            if (bone < 0 || bone >= static_cast<int64_t>(skin.Bones.size()) || bone > 255 || weightIndex < 0 ||
                weightIndex >= static_cast<int64_t>(weights.size()))
                BadFormat(operation, fileName);
            const float weight = weights[static_cast<size_t>(weightIndex)];
            int32_t slot = slots.Count;
            if (slots.Count == 8) {
                // Past eight influences the smallest one gives way.
                slot = 0;
                for (int32_t s = 1; s < 8; s++)
                    if (slots.Weight[s] < slots.Weight[slot])
                        slot = s;
                if (!(weight > slots.Weight[slot]))
                    continue;
            } else {
                slots.Count++;
            }
            slots.Bone[slot] = static_cast<uint8_t>(bone);
            slots.Weight[slot] = weight;
        }
        for (int32_t i = 0; i < 8; i++)
            for (int32_t j = i + 1; j < 8; j++)
                if (slots.Weight[j] > slots.Weight[i]) {
                    std::swap(slots.Weight[i], slots.Weight[j]);
                    std::swap(slots.Bone[i], slots.Bone[j]);
                }
        slots.Count = std::min(slots.Count, 4);
    }

    const TXML* scene = Path(&root, {"library_visual_scenes", "visual_scene"});
    const TXML* rootNode = FindContaining(scene, "node", "sid", "joint");
    if (rootNode != nullptr && !skin.Bones.empty()) {
        skin.RootBone = std::max(0, BoneNamed(skin, Param(rootNode, "sid")));
        VisitJoint(*rootNode, skin.RootBone, -1, skin);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Geometry

// The weld key of vertex P of a triangle whose other corners are Q1 (next)
// and Q2 (after it).
uint32_t WeldKey(const T3D_Vertex& p, const T3D_Vertex& q1, const T3D_Vertex& q2)
{
    const long double d1u = static_cast<long double>(p.U) - q1.U, d1v = static_cast<long double>(p.V) - q1.V;
    const long double d2u = static_cast<long double>(p.U) - q2.U, d2v = static_cast<long double>(p.V) - q2.V;
    const int32_t handedness = d1u * d2v - d1v * d2u > 0 ? 0 : 1;
    // A single times 10,000 is exact in a double.
    auto fixed = [](float x) {
        const double scaled = std::trunc(static_cast<double>(x) * 10000);
        if (!(scaled > -2147483648.0))
            return std::numeric_limits<int32_t>::min();
        return scaled < 2147483647.0 ? static_cast<int32_t>(scaled) : std::numeric_limits<int32_t>::max();
    };
    const int32_t values[9] = {fixed(p.Position.x), fixed(p.Position.y), fixed(p.Position.z),
                               fixed(p.Normal.x),   fixed(p.Normal.y),   fixed(p.Normal.z),
                               fixed(p.U),          fixed(p.V),          handedness};
    uint32_t crc = 0xFFFFFFFFu;
    for (int32_t value : values)
        for (int shift = 0; shift < 32; shift += 8)
            crc = Crc32Update(static_cast<uint8_t>(static_cast<uint32_t>(value) >> shift), crc);
    return crc;
}

const TXML* SourceOf(const TXML& mesh, const char* first, const char* second)
{
    const TXML* source = mesh.FindChild("source", "id", false, first);
    return source != nullptr ? source : mesh.FindChild("source", "id", false, second);
}

struct TPrimitive {
    const TXML* Element = nullptr;
    bool Polygons = false;
    int32_t TupleSize = 0; // K
    int32_t VertexOffset = 0;
    int32_t NormalOffset = 0;
    int32_t TexCoordOffset = 0;
};

TPrimitive PrimitiveOf(const TXML& mesh, const std::string& fileName)
{
    TPrimitive primitive;
    primitive.Element = mesh.Child("polygons");
    primitive.Polygons = primitive.Element != nullptr;
    if (primitive.Element == nullptr)
        primitive.Element = mesh.Child("triangles");
    if (primitive.Element == nullptr)
        Unsupported(fileName);
    const TXML& element = *primitive.Element;
    int32_t firstP = -1;
    for (int32_t i = 0; i < element.Count(); i++) {
        const std::string& tag = element.Items(i)->Tag;
        if (firstP < 0 && tag == "p")
            firstP = i;
        else if (firstP >= 0 && tag == "input")
            Unsupported(fileName);
    }
    if (firstP < 0)
        Unsupported(fileName);
    primitive.TupleSize = firstP;
    const char* names[3] = {"Vertex", "Normal0", "UV0"};
    if (!primitive.Polygons) {
        names[0] = "vertices";
        names[1] = "normals";
        names[2] = "map1";
    }
    int32_t* offsets[3] = {&primitive.VertexOffset, &primitive.NormalOffset, &primitive.TexCoordOffset};
    for (int32_t n = 0; n < 3; n++) {
        *offsets[n] = -1;
        for (int32_t i = 0; i < firstP && *offsets[n] < 0; i++) {
            const TXML* input = element.Items(i);
            if (input->Tag == "input" && Param(input, "source").find(names[n]) != std::string::npos)
                *offsets[n] = i;
        }
        if (*offsets[n] < 0)
            Unsupported(fileName);
    }
    return primitive;
}

struct TGeometrySources {
    std::vector<float> Positions;
    std::vector<float> Normals;
    std::vector<float> TexCoords;
    int64_t TexCoordStride = 2;
};

float At(const std::vector<float>& numbers, int64_t index, const std::string& fileName)
{
    if (index < 0 || static_cast<uint64_t>(index) >= numbers.size())
        BadFormat("Load_Geometry_XML", fileName);
    return numbers[static_cast<size_t>(index)];
}

T3D_Vertex CornerVertex(const TGeometrySources& sources, const std::vector<TInfluences>& influences, bool skinned,
                        const int64_t* tuple, const TPrimitive& primitive, TUpAxis axis, const std::string& fileName)
{
    const int64_t position = tuple[primitive.VertexOffset];
    const int64_t normal = tuple[primitive.NormalOffset];
    const int64_t texCoord = tuple[primitive.TexCoordOffset];
    T3D_Vertex v;
    // Indices past what a 64-bit product holds are out of range anyway.
    if (position < 0 || position > INT32_MAX || normal < 0 || normal > INT32_MAX || texCoord < 0 ||
        texCoord > INT32_MAX)
        BadFormat("Load_Geometry_XML", fileName);
    v.Position = {At(sources.Positions, 3 * position, fileName), At(sources.Positions, 3 * position + 1, fileName),
                  At(sources.Positions, 3 * position + 2, fileName)};
    v.Normal = {At(sources.Normals, 3 * normal, fileName), At(sources.Normals, 3 * normal + 1, fileName),
                At(sources.Normals, 3 * normal + 2, fileName)};
    v.U = At(sources.TexCoords, sources.TexCoordStride * texCoord, fileName);
    v.V = 1 - At(sources.TexCoords, sources.TexCoordStride * texCoord + 1, fileName);
    if (skinned && static_cast<uint64_t>(position) < influences.size()) {
        const TInfluences& slots = influences[static_cast<size_t>(position)];
        for (int32_t i = 0; i < slots.Count; i++) {
            v.BoneIndex[i] = slots.Bone[i];
            v.Weight[i] = slots.Weight[i];
        }
    }
    v.Position = ConvertVector(axis, v.Position);
    v.Normal = ConvertVector(axis, v.Normal);
    return v;
}

} // namespace

void Load_Geometry_XML(const std::string& fileName, const std::string& geometryName, int32_t vertexFormat,
                       T3D_VertexArray& vertices, TWordArray& indices, T3D_Skin* skin, uint8_t tangents)
{
    vertices.clear();
    indices.clear();
    const std::unique_ptr<TXML> root = ReadTree("Load_Geometry_XML", fileName);
    const TUpAxis axis = UpAxisOf(*root);

    std::vector<TInfluences> influences;
    const bool skinned = skin != nullptr && ReadSkin(*root, fileName, geometryName, axis, *skin, influences);

    const TXML* geometry = FindEqual(root->Child("library_geometries"), "geometry", "name", geometryName);
    const TXML* mesh = geometry != nullptr ? geometry->Child("mesh") : nullptr;
    if (mesh == nullptr)
        Unsupported(fileName);
    const TXML* positions = SourceOf(*mesh, "Position", "positions");
    const TXML* normals = SourceOf(*mesh, "Normal", "normals");
    const TXML* texCoords = SourceOf(*mesh, "UV0", "map1");
    if (positions == nullptr || normals == nullptr || texCoords == nullptr)
        Unsupported(fileName);
    TGeometrySources sources;
    sources.Positions = Floats(positions->Child("float_array"));
    sources.Normals = Floats(normals->Child("float_array"));
    sources.TexCoords = Floats(texCoords->Child("float_array"));
    const std::string stride = Param(Path(texCoords, {"technique_common", "accessor"}), "stride");
    if (!stride.empty())
        sources.TexCoordStride = StrToIntLenient(stride);
    if (sources.TexCoordStride < 1)
        BadFormat("Load_Geometry_XML", fileName);
    const TXML* doubleSidedElement = Path(geometry, {"extra", "technique", "double_sided"});
    const bool doubleSided = doubleSidedElement != nullptr && doubleSidedElement->Text == "1";

    const TPrimitive primitive = PrimitiveOf(*mesh, fileName);
    const int64_t k = primitive.TupleSize;
    std::vector<TColladaVertex> generated;
    std::vector<int32_t> corners;
    auto addTriangle = [&](const int64_t* a, const int64_t* b, const int64_t* c) {
        const int32_t base = static_cast<int32_t>(generated.size());
        for (const int64_t* tuple : {a, b, c}) {
            TColladaVertex v;
            v.Vertex = CornerVertex(sources, influences, skinned, tuple, primitive, axis, fileName);
            generated.push_back(v);
        }
        for (int32_t i = 0; i < 3; i++) {
            T3D_Vertex& p = generated[static_cast<size_t>(base + i)].Vertex;
            generated[static_cast<size_t>(base + i)].WeldKey =
                WeldKey(p, generated[static_cast<size_t>(base + (i + 1) % 3)].Vertex,
                        generated[static_cast<size_t>(base + (i + 2) % 3)].Vertex);
            corners.push_back(base + i);
        }
    };
    const TXML& element = *primitive.Element;
    if (primitive.Polygons) {
        const size_t triangles = static_cast<size_t>(std::max<int64_t>(0, element.Count() - k));
        generated.reserve(3 * triangles);
        corners.reserve(3 * triangles);
        for (int32_t i = static_cast<int32_t>(k); i < element.Count(); i++) {
            const std::vector<int64_t> numbers = Integers(element.Items(i));
            // One triangle per "p": polygons of more corners are not read.
            if (numbers.size() != static_cast<size_t>(3 * k))
                Unsupported(fileName);
            const int64_t* n = numbers.data();
            if (doubleSided)
                addTriangle(n, n + k, n + 2 * k);
            else
                addTriangle(n + 2 * k, n + k, n);
        }
    } else {
        const std::vector<int64_t> numbers = Integers(element.Items(static_cast<int32_t>(k)));
        const size_t triangles = numbers.size() / static_cast<size_t>(3 * k);
        generated.reserve(3 * triangles);
        corners.reserve(3 * triangles);
        for (size_t t = 0; t < triangles; t++) {
            const int64_t* n = numbers.data() + t * static_cast<size_t>(3 * k);
            if (doubleSided)
                addTriangle(n + 2 * k, n + k, n);
            else
                addTriangle(n, n + k, n + 2 * k);
        }
    }

    const bool tangentFormat = vertexFormat == MESH_NORMALMAPPED || vertexFormat == MESH_SKINNED ||
                               vertexFormat == MESH_TREECOMA || vertexFormat == MESH_GRASS;
    if (tangentFormat && tangents != 0)
        ColladaTangentPass(generated, corners, vertexFormat, tangents);
    ColladaWeld(generated, corners);
    // The indices are 16-bit.
    if (generated.size() > static_cast<size_t>(MESH_MAX_VERTICES)) {
        AppendEngineError("T3D_Mesh(" + geometryName + ").ImportGeometry -> TOO MANY VERTICES!");
        FatalStop();
    }
    vertices.reserve(generated.size());
    for (const TColladaVertex& v : generated)
        vertices.push_back(v.Vertex);
    indices.reserve(corners.size());
    for (int32_t index : corners)
        indices.push_back(static_cast<uint16_t>(index));
}

// ---------------------------------------------------------------------------
// Animation

namespace {

int32_t BoneWithNode(const T3D_Skin& skin, const std::string& nodeName)
{
    for (size_t b = 0; b < skin.Bones.size(); b++)
        if (skin.Bones[b].NodeName == nodeName)
            return static_cast<int32_t>(b);
    return -1;
}

void VisitRestPose(const TXML& node, int32_t bone, TUpAxis axis, T3D_Skin& skin, const std::string& fileName,
                   std::vector<bool>& visited)
{
    visited[static_cast<size_t>(bone)] = true;
    if (const TXML* matrix = node.Child("matrix"))
        skin.Bones[static_cast<size_t>(bone)].Tracks.back().Matrix =
            MatrixAt(Floats(matrix), 0, axis, "Load_Animation_XML", fileName);
    for (const auto& child : node.Children) {
        if (child->Tag != "node")
            continue;
        const int32_t childBone = BoneWithNode(skin, Param(child.get(), "name"));
        if (childBone >= 0 && !visited[static_cast<size_t>(childBone)])
            VisitRestPose(*child, childBone, axis, skin, fileName, visited);
    }
}

} // namespace

void Load_Animation_XML(const std::string& fileName, const std::string& animationName, T3D_Skin& skin)
{
    const std::unique_ptr<TXML> root = ReadTree("Load_Animation_XML", fileName);
    const TUpAxis axis = UpAxisOf(*root);
    T3D_Clip clip;
    clip.Name = animationName;
    skin.Clips.push_back(clip);
    for (T3D_Bone& bone : skin.Bones)
        bone.Tracks.emplace_back();
    if (skin.Bones.empty())
        return;

    const TXML* scene = Path(root.get(), {"library_visual_scenes", "visual_scene"});
    const int32_t rootBone =
        skin.RootBone >= 0 && static_cast<size_t>(skin.RootBone) < skin.Bones.size() ? skin.RootBone : 0;
    if (const TXML* node = FindContaining(scene, "node", "name", skin.Bones[static_cast<size_t>(rootBone)].NodeName)) {
        std::vector<bool> visited(skin.Bones.size(), false);
        VisitRestPose(*node, rootBone, axis, skin, fileName, visited);
    }

    const TXML* animation = Path(root.get(), {"library_animations", "animation"});
    if (animation == nullptr)
        return;
    long double longest = 0;
    for (T3D_Bone& bone : skin.Bones) {
        const TXML* input = animation->FindChild("source", "id", false, bone.NodeName + "_matrix-input");
        if (input == nullptr)
            continue;
        T3D_Track& track = bone.Tracks.back();
        track.Times = Floats(input->Child("float_array"));
        for (float time : track.Times)
            longest = std::max(longest, static_cast<long double>(time));
        const TXML* output = animation->FindChild("source", "id", false, bone.NodeName + "_matrix-output");
        const std::vector<float> keys = Floats(output != nullptr ? output->Child("float_array") : nullptr);
        for (size_t n = 0; n < keys.size() / 16; n++)
            track.Keys.push_back(MatrixAt(keys, n, axis, "Load_Animation_XML", fileName));
    }
    const long double length = std::nearbyintl(longest * 1000);
    skin.Clips.back().FrameCount = static_cast<int32_t>(std::min<long double>(length, INT32_MAX));
}

// ---------------------------------------------------------------------------
// Names and textures

void Find_Names_XML(const std::string& fileName, TStringArray& names)
{
    names.clear();
    const std::unique_ptr<TXML> root = ReadTree("Find_Names_XML", fileName);
    const TXML* library = root->Child("library_geometries");
    if (library == nullptr)
        return;
    for (const auto& geometry : library->Children) {
        if (geometry->Tag != "geometry" || geometry->Params == nullptr)
            continue;
        const TXML* array = Path(geometry.get(), {"mesh", "source", "float_array"});
        if (StrToIntLenient(Param(array, "count")) <= 0)
            continue;
        for (const TXMLParam& param : geometry->Params->List)
            if (param.Name == "name")
                names.push_back(param.Value);
    }
}

namespace {

std::string MaterialUnder(const TXML* from)
{
    return Param(Path(from, {"bind_material", "technique_common", "instance_material"}), "target");
}

std::string StripAfterLast(const std::string& text, char separator)
{
    const size_t at = text.rfind(separator);
    return at == std::string::npos ? text : text.substr(at + 1);
}

} // namespace

void Find_Texture_XML(const std::string& fileName, const std::string& geometryName, std::string& textureName)
{
    textureName.clear();
    const std::unique_ptr<TXML> root = ReadTree("Find_Texture_XML", fileName);
    std::string material;
    if (const TXML* scene = Path(root.get(), {"library_visual_scenes", "visual_scene"})) {
        for (const auto& node : scene->Children) {
            if (node->Tag != "node" || node->Params == nullptr)
                continue;
            for (const TXMLParam& param : node->Params->List) {
                if (param.Name == "name" && param.Value == geometryName) {
                    const TXML* instance = node->Child("instance_geometry");
                    if (instance == nullptr && node->Child("node") != nullptr)
                        instance = node->Child("node")->Child("instance_geometry");
                    std::string found = MaterialUnder(instance);
                    if (found.empty())
                        found = MaterialUnder(node->Child("instance_controller"));
                    if (!found.empty())
                        material = found;
                } else if (Param(node->Child("instance_geometry"), "url") == "#" + geometryName) {
                    const std::string found = MaterialUnder(node->Child("instance_geometry"));
                    if (!found.empty())
                        material = found;
                }
            }
        }
    }
    if (!material.empty() && material[0] == '#')
        material.erase(0, 1);
    if (material.empty()) {
        const TXML* geometry = FindEqual(root->Child("library_geometries"), "geometry", "name", geometryName);
        material = Param(Path(geometry, {"mesh", "polygons"}), "material");
    }
    if (material.empty())
        return;

    const TXML* materials = root->Child("library_materials");
    const TXML* materialElement = FindEqual(materials, "material", "name", material);
    if (materialElement == nullptr)
        materialElement = FindEqual(materials, "material", "id", material);
    std::string effect = Param(Path(materialElement, {"instance_effect"}), "url");
    if (effect.empty())
        return;
    effect.erase(0, 1);

    const TXML* effectElement = FindEqual(root->Child("library_effects"), "effect", "id", effect);
    const TXML* technique = Path(effectElement, {"profile_COMMON", "technique"});
    std::string sampler = Param(Path(technique, {"lambert", "diffuse", "texture"}), "texture");
    const std::string blinn = Param(Path(technique, {"blinn", "diffuse", "texture"}), "texture");
    if (!blinn.empty())
        sampler = blinn;
    const size_t suffix = sampler.find("-sampler");
    if (suffix != std::string::npos)
        sampler.erase(suffix, 8);
    if (sampler.empty())
        return;

    const TXML* image = FindEqual(root->Child("library_images"), "image", "id", sampler);
    const TXML* initFrom = image != nullptr ? image->Child("init_from") : nullptr;
    if (initFrom == nullptr)
        return;
    textureName = StripAfterLast(StripAfterLast(initFrom->Text, '\\'), '/');
}
