// The two ends of a file operation: the input, read through a stream that reports progress, and
// the output, written under a temporary name and given its own only when committed. The engine's
// data objects point into this value, so it stays where it was made.
#pragma once

#include <string>

#include "platform/core/files.h"
#include "zembra/engine/file_stream.h"
#include "zembra/operations/outcome.h"

class FileStreams {
 public:
  explicit FileStreams(std::string outputName) : m_output(std::move(outputName)) {}
  FileStreams(const FileStreams&) = delete;
  FileStreams& operator=(const FileStreams&) = delete;

  // Opens the input and its data object. An input that cannot be opened, and an engine
  // failure, end the outcome with a line that says why.
  bool OpenInput(const std::string& path, const ProgressSink& progress, Outcome& outcome);
  // Creates the output and its data object; a failure ends the outcome with the reason.
  bool OpenOutput(Outcome& outcome);

  gpgme_data_t in() const { return m_inData.get(); }
  gpgme_data_t out() const { return m_outData.get(); }
  // The input's length at its end was not its length at opening: what the engine got is neither
  // the old content nor the new one.
  bool InputChanged() const { return m_inStream.changed; }

  // Lets go of the output's data object, then gives the output its name: replacing a file of
  // that name, or (NoReplace) keeping one that took the name meanwhile.
  bool Commit(Outcome& outcome);
  bool CommitNoReplace(Outcome& outcome);

 private:
  UniqueFd m_input;
  FileStream m_inStream;
  GpgmeDataObject m_inData;
  CommittedOutput m_output;
  OutputStream m_outStream;
  GpgmeDataObject m_outData;
};
