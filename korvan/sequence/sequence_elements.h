#pragma once
// All sequence element classes, and what a sequence compiles to.
#include <korvan/sequence/sequence_control.h>
#include <korvan/sequence/sequence_object.h>
#include <korvan/sequence/sequence_outputs.h>
#include <korvan/sequence/sequence_analysis.h>
#include <korvan/sequence/element_kind.h>
#include <korvan/sequence/sequence_compiler.h>
#include <korvan/sequence/sequence_point.h>
#include <korvan/sequence/sequence_shapes.h>
