// Fields of the engine state owned by the decoders (inflate, CRC-32, shrink, implode).
#pragma once

struct DecoderFields {
};
