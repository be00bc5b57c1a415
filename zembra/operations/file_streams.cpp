#include "zembra/operations/file_streams.h"

#include "zembra/operations/output_file.h"

bool FileStreams::OpenInput(const std::string& path, const ProgressSink& progress,
                            Outcome& outcome) {
  m_input = ::OpenInput(path, outcome);
  if (!m_input.valid()) return false;
  m_inStream = MakeFileStream(m_input.get(), progress);
  return outcome.Check(MakeInputData(m_inData, m_inStream));
}

bool FileStreams::OpenOutput(Outcome& outcome) {
  if (!::OpenOutput(m_output, outcome)) return false;
  m_outStream.fd = m_output.fd();
  return outcome.Check(MakeOutputData(m_outData, m_outStream));
}

bool FileStreams::Commit(Outcome& outcome) {
  m_outData.reset();
  return CommitOutput(m_output, outcome);
}

bool FileStreams::CommitNoReplace(Outcome& outcome) {
  m_outData.reset();
  return CommitNewOutput(m_output, outcome);
}
