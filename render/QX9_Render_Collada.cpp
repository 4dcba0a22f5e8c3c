// COLLADA import (the readers follow in the next step).
#include "render/QX9_Render_Collada.h"

void Load_Geometry_XML(const std::string& fileName, const std::string&, int32_t, T3D_VertexArray&, TWordArray&,
                       T3D_Skin*, uint8_t)
{
    FatalError("Load_Geometry_XML", fileName, "UNSUPPORTED GEOMETRY!");
}

void Load_Animation_XML(const std::string& fileName, const std::string&, T3D_Skin&)
{
    FatalError("Load_Animation_XML", fileName, "UNSUPPORTED ANIMATION!");
}

void Find_Names_XML(const std::string&, TStringArray& names)
{
    names.clear();
}

void Find_Texture_XML(const std::string&, const std::string&, std::string& textureName)
{
    textureName.clear();
}

void ColladaMergeTangents(std::vector<TColladaVertex>&) {}
void ColladaWeld(std::vector<TColladaVertex>&, std::vector<int32_t>&) {}
